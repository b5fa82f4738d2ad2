#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "store/records.h"

class QPrinter;
class QWidget;

// The printed contact sheet: one page with twenty rows of labelled fields in two columns and
// the contact's picture below them. Positions are in the printer's device units: the left
// column at x = 40, the right one at half the printable width, each value 300 units right of
// its label; the first row at y = 40 and each further row 80 units lower. The picture is
// stretched into (40, 1800)-(W-40, H-40); one that cannot be loaded is left out.
class CZPContactPrinter {
public:
    static constexpr int kMargin = 40;
    static constexpr int kValueOffset = 300;
    static constexpr int kRowStep = 80;
    static constexpr int kPictureTop = 1800;
    static constexpr int kRows = 20;

    // Prints record on printer, a document named "test" of one page. False when the
    // printer could not start the document.
    static bool Print(const kavo::CRelData& record, QPrinter& printer);

    // The print command of the main window: asks "是否打印当前联系人?" over owner and, on
    // Yes, prints the contact that gather returns on the default printer without a dialog.
    // Without a default printer it offers to save the sheet as a PDF file instead, chosen in
    // a file dialog, and says whether that worked. True when printed or saved.
    static bool PrintCurrentContact(QWidget* owner, const std::function<kavo::CRelData()>& gather);

    // Saves the sheet of record as a PDF file at path. False when the file cannot be written.
    static bool SaveAsPdf(const kavo::CRelData& record, const QString& path);

    // ---- seams for tests ----
    // Whether a default printer is there (nullopt: ask the system).
    static void SetHasPrinterForTests(std::optional<bool> hasPrinter);
    // Chooses the PDF file instead of the file dialog (empty: the dialog).
    static void SetPdfChooserForTests(std::function<QString(const QString& suggested)> choose);
};
