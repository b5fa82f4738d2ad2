// The peer of the vCard import benchmark: KDE's KContacts parsing a vCard file into its
// address book entries and doing nothing else with them. Prints the number of cards.
#include <KContacts/VCardConverter>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kcontacts_parse FILE.vcf\n");
        return 2;
    }
    QFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QByteArray bytes = file.readAll();
    KContacts::VCardConverter converter;
    const KContacts::Addressee::List cards = converter.parseVCards(bytes);
    std::printf("%d\n", static_cast<int>(cards.size()));
    return cards.isEmpty() ? 1 : 0;
}
