// The About window: the game's name, version and how to play, and a way to the system's
// information program.
#pragma once

#include "Platform.h"
#include "arithmetic.h"

#include <QDialog>

class QLabel;
class QPushButton;
class PictureBox;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(Platform& platform);
    ~frmAbout() override;

    void StartSysInfo();
    bool GetKeyValue(const Int32& KeyRoot, const QString& KeyName, const QString& SubKeyRef, QString& KeyVal);

    // Esc presses "OK", the window's cancel button.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    friend struct AboutAccess;

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();

    Platform& platform;
    QPushButton* cmdOK = nullptr;
    PictureBox* picIcon = nullptr;
    QPushButton* cmdSysInfo = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    // The etched separator, both of its lines.
    QWidget* Line1 = nullptr;
};
