#pragma once

#include <QString>
#include <memory>

class QSettings;

// The user's preferences: the section "Settings" of the company "Norvane" under the program
// name (the executable's base name). Both values are integers that default to 0.
class CZPSettings {
public:
    static constexpr const char* kCompany = "Norvane";
    static constexpr const char* kSection = "Settings";
    static constexpr const char* kSavePassword = "SavePassword";
    static constexpr const char* kAutoLogin = "AutoLogin";

    // Keeps the preferences in an INI file under dir instead of the user's profile (tests,
    // and a portable run); an empty dir goes back to the profile.
    static void SetLocation(const QString& dir);
    static QString Location();

    // The program name the preferences are filed under; the executable's base name unless
    // set (tests).
    static QString ProgramName();
    static void SetProgramName(const QString& name);

    // An integer of the section; the default when it is absent or not a number.
    static int ReadInt(const QString& key, int defaultValue = 0);
    static void WriteInt(const QString& key, int value);

    static bool SavePassword() { return ReadInt(QString::fromLatin1(kSavePassword)) != 0; }
    static bool AutoLogin() { return ReadInt(QString::fromLatin1(kAutoLogin)) != 0; }
    static void SetSavePassword(bool on) {
        WriteInt(QString::fromLatin1(kSavePassword), on ? 1 : 0);
    }
    static void SetAutoLogin(bool on) { WriteInt(QString::fromLatin1(kAutoLogin), on ? 1 : 0); }

    // The settings object behind the accessors, opened on the section's parent.
    static std::unique_ptr<QSettings> Open();
};
