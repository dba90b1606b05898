#include "frmAbout.h"

#include <QLabel>
#include <QPushButton>

frmAbout::frmAbout(Platform& platform)
    : QDialog(nullptr)
    , platform(platform)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

frmAbout::~frmAbout() = default;

void frmAbout::StartSysInfo() { }

bool frmAbout::GetKeyValue(const Long&, const QString&, const QString&, QString& KeyVal)
{
    KeyVal.clear();
    return false;
}

void frmAbout::Form_Load() { }
void frmAbout::cmdOK_Click() { close(); }
void frmAbout::cmdSysInfo_Click() { StartSysInfo(); }
