#include "dialogs/app_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

QString& LocationSlot() {
    static QString location;
    return location;
}

QString& ProgramNameSlot() {
    static QString name;
    return name;
}

}  // namespace

void CZPSettings::SetLocation(const QString& dir) { LocationSlot() = dir; }

QString CZPSettings::Location() { return LocationSlot(); }

QString CZPSettings::ProgramName() {
    if (!ProgramNameSlot().isEmpty()) return ProgramNameSlot();
    const QString path = QCoreApplication::applicationFilePath();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("kavo") : name;
}

void CZPSettings::SetProgramName(const QString& name) { ProgramNameSlot() = name; }

std::unique_ptr<QSettings> CZPSettings::Open() {
    const QString company = QString::fromLatin1(kCompany);
    if (LocationSlot().isEmpty()) {
        return std::make_unique<QSettings>(company, ProgramName());
    }
    const QString file =
        QDir(LocationSlot())
            .filePath(company + QLatin1Char('/') + ProgramName() + QStringLiteral(".conf"));
    return std::make_unique<QSettings>(file, QSettings::IniFormat);
}

int CZPSettings::ReadInt(const QString& key, int defaultValue) {
    auto settings = Open();
    settings->beginGroup(QString::fromLatin1(kSection));
    const QVariant value = settings->value(key);
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : defaultValue;
}

void CZPSettings::WriteInt(const QString& key, int value) {
    auto settings = Open();
    settings->beginGroup(QString::fromLatin1(kSection));
    settings->setValue(key, value);
    settings->endGroup();
    settings->sync();
}
