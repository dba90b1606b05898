// The platform over Qt: message boxes, sounds, the Open dialog, processes and files.
#pragma once

#include "Platform.h"

#include <QHash>
#include <QObject>

#include <memory>

class QSoundEffect;

class QtPlatform : public QObject, public Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    void MsgBox(const QString& text, const QString& title) override;
    void PlaySound(const QString& file) override;
    std::optional<QString> OpenFile(QWidget* parent, const QString& filter) override;
    bool StartProgram(const QString& path) override;
    bool IsOrdinaryFile(const QString& path) override;
    QString AppPath() override;
    std::uint32_t ClockSeed() override;
    RegistryStore& Registry() override;
    void Quit() override;
    void BeginBusy() override;
    void EndBusy() override;

private:
    // Made on first use, so starting the game never waits for the audio system.
    QHash<QString, QSoundEffect*> sounds_;
};

// The Basic filter "Name|*.a;*.b" in the form Qt's dialogs read, "Name (*.a *.b)".
QString QtFilter(const QString& basicFilter);
