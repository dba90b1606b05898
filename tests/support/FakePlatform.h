// A platform that answers at once and writes down every call, so a test can check what the game
// asked of the system and in which order.
#pragma once

#include "MemoryRegistry.h"
#include "Platform.h"

#include <QSet>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    void ShowMessage(const QString& text, const QString& title, const QString& detail = QString()) override;
    void PlaySound(const QString& file) override;
    std::optional<QString> OpenFile(QWidget* parent, const QString& filter) override;
    void AnswerNextOpen(const std::optional<QString>& path) override { nextOpen = path; }
    bool StartProgram(const QString& path) override;
    bool IsOrdinaryFile(const QString& path) override;
    QString AppPath() override { return appPath; }
    std::uint32_t ClockSeed() override;
    RegistryStore& Registry() override { return *registry; }
    void Quit() override;
    void BeginBusy() override
    {
        ++busy;
        ++busyShown;
    }
    void EndBusy() override { --busy; }
    // Long work runs beside the window as in the game, and is given up from the start when asked to.
    void DoLongWork(const QString& what, const QStringList& stages, LongWorkProgress& progress,
        const std::function<void()>& work) override
    {
        progress.givenUp = givesUp;
        Platform::DoLongWork(what, stages, progress, work);
    }

    // Every call in order: "ShowMessage title|text" ("ShowMessage title|text|detail" with a detail),
    // "PlaySound file", "OpenFile filter", "StartProgram path", "IsOrdinaryFile path", "ClockSeed", "Quit".
    QStringList log;
    // Calls of one kind only, e.g. calls("ShowMessage").
    QStringList calls(const QString& kind) const;
    void clear() { log.clear(); }

    // What the Open dialog answers next; nothing queued means the player cancels. A file named
    // through AnswerNextOpen comes first.
    std::deque<std::optional<QString>> openAnswers;
    std::optional<QString> nextOpen;
    // Seen while a message box is up, before it is closed.
    std::function<void(const QString& text, const QString& title)> onMsgBox;
    bool startSucceeds = true;
    QSet<QString> ordinaryFiles;
    QString appPath = QStringLiteral("/opt/tilora");
    std::uint32_t seed = 12345;
    int quits = 0;
    int busy = 0;
    // How often a busy cursor was put up at all.
    int busyShown = 0;
    // Whether the player gives long work up as soon as it starts.
    bool givesUp = false;
    // Keys opened and values read are written to the log too, as "RegOpenKey path" and
    // "RegQueryValue path|name".
    std::unique_ptr<MemoryRegistry> registry;
};
