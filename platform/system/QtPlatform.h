// The platform over Qt: message boxes, sounds, the Open dialog, processes and files.
#pragma once

#include "Platform.h"

#include <QHash>
#include <QObject>

#include <memory>

class QFileDialog;
class QMessageBox;
class QSoundEffect;

class QtPlatform : public QObject, public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    void ShowMessage(const QString& text, const QString& title, const QString& detail = QString()) override;
    void PlaySound(const QString& file) override;
    std::optional<QString> OpenFile(QWidget* parent, const QString& filter) override;
    void AnswerNextOpen(const std::optional<QString>& path) override;
    bool StartProgram(const QString& path) override;
    bool IsOrdinaryFile(const QString& path) override;
    QString AppPath() override;
    std::uint32_t ClockSeed() override;
    RegistryStore& Registry() override;
    void Quit() override;
    void BeginBusy() override;
    void EndBusy() override;
    void ReadyBusy() override;
    void DoLongWork(const QString& what, const QStringList& stages, LongWorkProgress& progress,
        const std::function<void()>& work) override;

    // Where the Open dialog starts: the folder of the picture chosen last, or the player's pictures.
    QString StartFolder() const;

private:
    std::optional<QString> nextOpen_;
    QString lastFolder_;
    // Made on first use, so starting the game never waits for the audio system.
    QHash<QString, QSoundEffect*> sounds_;
};

// The game's message box, ready to show: the text, a detail in smaller print under it, one OK
// button, no icon, and wide enough for a title bar to show the whole title.
std::unique_ptr<QMessageBox> MakeMessageBox(
    const QString& text, const QString& title, const QString& detail, QWidget* parent);
// The Open dialog for one existing file, ready to show: starting in the folder, offering the filter's
// kinds of file, its dates in Romanian whatever the desktop's language.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& folder, const QString& filter);
// The width a window needs for a title bar to show this title whole, buttons included.
int TitleBarWidth(const QString& title);

// The game's filter, "Name|*.a;*.b", in the form Qt's dialogs read, "Name (*.a *.b)".
QString QtFilter(const QString& gameFilter);
