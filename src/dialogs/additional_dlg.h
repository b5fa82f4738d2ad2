// The additional page of the contact editor: client id, anniversary, five bank accounts
// (digits only) and the ring tone's path.
#pragma once

#include "dialogs/contact_page.h"

class CZPAdditionalDlg : public CZPContactPage {
    Q_OBJECT
public:
    explicit CZPAdditionalDlg(QWidget* parent = nullptr);
};
