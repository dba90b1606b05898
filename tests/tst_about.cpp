#include "AppInfo.h"
#include "FakePlatform.h"
#include "Game.h"
#include "MemoryRegistry.h"
#include "PictureBox.h"
#include "frmAbout.h"
#include "icon.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

struct AboutAccess {
    frmAbout& f;
    QPushButton* cmdOK() { return f.cmdOK; }
    QPushButton* cmdSysInfo() { return f.cmdSysInfo; }
    PictureBox* picIcon() { return f.picIcon; }
    QLabel* lblTitle() { return f.lblTitle; }
    QLabel* lblVersion() { return f.lblVersion; }
    QLabel* lblDescription() { return f.lblDescription; }
};

namespace {

const QString InfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString LocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString Unavailable
    = QStringLiteral("ShowMessage Tilora|System Information Is Unavailable At This Time");

QByteArray Bytes(std::initializer_list<int> b)
{
    QByteArray out;
    for (int x : b)
        out.append(static_cast<char>(x));
    return out;
}

// Opens a fresh dialog, shown and active, with the focus on the control asked for.
frmAbout* ShowAbout(FakePlatform& platform)
{
    auto* about = new frmAbout(platform);
    about->show();
    about->activateWindow();
    if (!QTest::qWaitForWindowActive(about))
        qWarning("the About window did not become active");
    return about;
}

class PathGuard {
public:
    explicit PathGuard(const QByteArray& path)
        : old_(qgetenv("PATH"))
    {
        qputenv("PATH", path);
    }
    ~PathGuard() { qputenv("PATH", old_); }

private:
    QByteArray old_;
};

void MakeProgram(const QString& path, bool executable)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\n");
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        p |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QVERIFY(f.setPermissions(p));
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void getKeyValue_data();
    void getKeyValue();
    void queryValueSizes();
    void startSysInfo_data();
    void startSysInfo();
    void loads();
    void keysClose_data();
    void keysClose();
    void aboutFromMenu();
    void systemStore_data();
    void systemStore();
    void icon_data();
    void icon();
};

void TestAbout::getKeyValue_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<uint>("type");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("keyVal");

    const QByteArray long1024(1024, 'a');
    QTest::newRow("text with its zero")
        << true << 1u << QByteArray("C:\\Tools\\info.exe", 18) << true << "C:\\Tools\\info.exe";
    QTest::newRow("text without zero") << true << 1u << QByteArray("abc") << true << "abc";
    QTest::newRow("empty text") << true << 1u << QByteArray() << true << "";
    QTest::newRow("only a zero") << true << 1u << Bytes({ 0 }) << true << "";
    QTest::newRow("number 0x123") << true << 4u << Bytes({ 0x23, 0x01, 0x00, 0x00 }) << true << "&h000123";
    QTest::newRow("number 0x12345678")
        << true << 4u << Bytes({ 0x78, 0x56, 0x34, 0x12 }) << true << "&h12345678";
    QTest::newRow("number with high bytes")
        << true << 4u << Bytes({ 0xab, 0x00, 0xcd, 0xef }) << true << "&hEFCD00AB";
    QTest::newRow("expandable text untouched") << true << 2u << QByteArray("%PATH%", 7) << true << "before";
    QTest::newRow("binary untouched") << true << 3u << Bytes({ 1, 2, 3 }) << true << "before";
    QTest::newRow("exactly 1024 bytes") << true << 1u << long1024 << true << QString(long1024);
    QTest::newRow("1025 bytes") << true << 1u << QByteArray(1025, 'a') << false << "";
    QTest::newRow("missing") << false << 1u << QByteArray() << false << "";
}

void TestAbout::getKeyValue()
{
    QFETCH(bool, present);
    QFETCH(uint, type);
    QFETCH(QByteArray, data);
    QFETCH(bool, result);
    QFETCH(QString, keyVal);

    FakePlatform platform;
    const QString key = QStringLiteral("SOFTWARE\\Tilora\\Test");
    if (present)
        platform.registry->SetValue(HKEY_LOCAL_MACHINE, key, QStringLiteral("Value"), type, data);
    frmAbout about(platform);
    const std::size_t openBefore = OpenRegistryKeys();
    QString val = QStringLiteral("before");
    // Key and value names are matched without regard to case.
    QCOMPARE(about.GetKeyValue(HKEY_LOCAL_MACHINE, key.toUpper(), QStringLiteral("value"), val), result);
    QCOMPARE(val, keyVal);
    QCOMPARE(OpenRegistryKeys(), openBefore);
}

void TestAbout::queryValueSizes()
{
    MemoryRegistry store;
    store.SetValue(
        HKEY_LOCAL_MACHINE, QStringLiteral("K"), QStringLiteral("V"), REG_SZ, QByteArray("hello", 6));

    Int32 key = 0;
    QCOMPARE(RegOpenKeyExA(store, HKEY_LOCAL_MACHINE, QStringLiteral("K\\Below"), key), ERROR_FILE_NOT_FOUND);
    QCOMPARE(key, 0);
    QCOMPARE(RegOpenKeyExA(store, HKEY_LOCAL_MACHINE, QStringLiteral("k"), key), ERROR_SUCCESS);

    std::uint8_t buffer[8] = {};
    Int32 type = 0;
    Int32 size = 0;
    // No buffer: only the size.
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("V"), type, nullptr, size), ERROR_SUCCESS);
    QCOMPARE(size, 6);
    QCOMPARE(type, 1);
    // Too small a buffer: untouched, and the size it would take.
    size = 3;
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("V"), type, buffer, size), ERROR_MORE_DATA);
    QCOMPARE(size, 6);
    QCOMPARE(buffer[0], 0);
    size = 8;
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("V"), type, buffer, size), ERROR_SUCCESS);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer), size.v()), QByteArray("hello", 6));
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("W"), type, buffer, size), ERROR_FILE_NOT_FOUND);

    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_INVALID_HANDLE);
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("V"), type, buffer, size), ERROR_INVALID_HANDLE);
}

void TestAbout::startSysInfo_data()
{
    QTest::addColumn<QString>("first"); // "PATH" under the first key; empty: none
    QTest::addColumn<uint>("firstType");
    QTest::addColumn<QString>("second"); // "MSINFO" under the second key; empty: none
    QTest::addColumn<bool>("fileThere");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QStringList>("log");

    const QString openFirst = QStringLiteral("RegOpenKey ") + InfoKey;
    const QString readFirst = QStringLiteral("RegQueryValue %1|PATH").arg(InfoKey);
    const QString openSecond = QStringLiteral("RegOpenKey ") + LocationKey;
    const QString readSecond = QStringLiteral("RegQueryValue %1|MSINFO").arg(LocationKey);
    const QString tools = QStringLiteral("C:\\Tools");
    const QString exe = QStringLiteral("C:\\Tools\\MSINFO32.EXE");

    QTest::newRow("first value started as it is")
        << "C:\\No Such\\tool.exe" << 1u << "" << false << true
        << QStringList { openFirst, readFirst, "StartProgram C:\\No Such\\tool.exe" };
    QTest::newRow("first value fails to start")
        << "C:\\No Such\\tool.exe" << 1u << "" << false << false
        << QStringList { openFirst, readFirst, "StartProgram C:\\No Such\\tool.exe", Unavailable };
    QTest::newRow("first value wins over second")
        << "/usr/bin/hardinfo" << 1u << tools << true << true
        << QStringList { openFirst, readFirst, "StartProgram /usr/bin/hardinfo" };
    QTest::newRow("first value of another type")
        << "ignored" << 2u << tools << true << false
        << QStringList { openFirst, readFirst, "StartProgram ", Unavailable };
    QTest::newRow("second folder holding the program")
        << "" << 1u << tools << true << true
        << QStringList { openFirst, openSecond, readSecond, "IsOrdinaryFile " + exe, "StartProgram " + exe };
    QTest::newRow("second folder without it")
        << "" << 1u << tools << false << true
        << QStringList { openFirst, openSecond, readSecond, "IsOrdinaryFile " + exe, Unavailable };
    QTest::newRow("neither") << "" << 1u << "" << false << true
                             << QStringList { openFirst, openSecond, Unavailable };
}

void TestAbout::startSysInfo()
{
    QFETCH(QString, first);
    QFETCH(uint, firstType);
    QFETCH(QString, second);
    QFETCH(bool, fileThere);
    QFETCH(bool, starts);
    QFETCH(QStringList, log);

    FakePlatform platform;
    if (!first.isEmpty())
        platform.registry->SetValue(
            HKEY_LOCAL_MACHINE, InfoKey, QStringLiteral("PATH"), firstType, first.toLocal8Bit() + '\0');
    if (!second.isEmpty())
        platform.registry->SetValue(
            HKEY_LOCAL_MACHINE, LocationKey, QStringLiteral("MSINFO"), REG_SZ, second.toLocal8Bit() + '\0');
    if (fileThere)
        platform.ordinaryFiles << second + QStringLiteral("\\MSINFO32.EXE");
    platform.startSucceeds = starts;

    frmAbout about(platform);
    platform.clear();
    about.StartSysInfo();
    QCOMPARE(platform.log, log);
}

void TestAbout::loads()
{
    FakePlatform platform;
    frmAbout about(platform);
    AboutAccess a { about };
    QCOMPARE(about.windowTitle(), QStringLiteral("About Tilora"));
    QCOMPARE(a.lblTitle()->text(), QStringLiteral("Tilora"));
    QCOMPARE(a.lblVersion()->text(), QStringLiteral("Version 1.0.0"));
    QCOMPARE(a.lblDescription()->text(),
        QStringLiteral(
            "Ptr a muta piese se foloseste mausul iar dupa ce au fost asezate se pot roti cu click "
            "stanga sau click dreapta. Poza poate fi revazuta cu F4 si apoi Esc ptr a continua. "
            "Distractie placuta!"));
    // Modeless and ownerless, a fixed frame without minimise or maximise.
    QVERIFY(!about.isModal());
    QVERIFY(!about.parentWidget());
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(a.cmdOK()->isDefault());
    QCOMPARE(a.picIcon()->image().size(), QSize(32, 32));
    // Tab goes round OK, the icon and System Info, and nothing else.
    QCOMPARE(a.cmdOK()->nextInFocusChain(), a.picIcon());
    QCOMPARE(a.picIcon()->nextInFocusChain(), a.cmdSysInfo());
    QVERIFY(platform.calls(QStringLiteral("ShowMessage")).isEmpty());
}

void TestAbout::keysClose_data()
{
    QTest::addColumn<int>("focus"); // 0 OK, 1 the icon, 2 System Info
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");

    const char* names[] = { "OK", "icon", "System Info" };
    for (int focus = 0; focus < 3; ++focus) {
        QTest::addRow("Esc on %s", names[focus]) << focus << int(Qt::Key_Escape) << true;
        QTest::addRow("Enter on %s", names[focus]) << focus << int(Qt::Key_Return) << (focus != 2);
        QTest::addRow("keypad Enter on %s", names[focus]) << focus << int(Qt::Key_Enter) << (focus != 2);
    }
}

void TestAbout::keysClose()
{
    QFETCH(int, focus);
    QFETCH(int, key);
    QFETCH(bool, closes);

    FakePlatform platform;
    QPointer<frmAbout> about = ShowAbout(platform);
    // A failed check must not leave the window behind for the next test.
    struct Cleanup {
        QPointer<frmAbout>& window;
        ~Cleanup() { delete window.data(); }
    } cleanup { about };
    AboutAccess a { *about };
    QWidget* target[] = { a.cmdOK(), a.picIcon(), a.cmdSysInfo() };
    // Reached with Tab, as a player would.
    for (int i = 0; i < focus; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), target[focus]);

    QTest::keyClick(target[focus], static_cast<Qt::Key>(key));
    if (closes) {
        QTRY_VERIFY(about.isNull());
        QVERIFY(platform.log.isEmpty());
    } else {
        // Enter on System Info presses that button: the lookups, and the box over an empty registry.
        QCOMPARE(platform.calls(QStringLiteral("ShowMessage")), QStringList { Unavailable });
        QVERIFY(about && about->isVisible());
    }
}

void TestAbout::aboutFromMenu()
{
    Game g;
    MainAccess& m = g.a;
    g.main.show();

    m.mAbout()->trigger();
    QPointer<frmAbout> first = m.aboutForm();
    QVERIFY(first && first->isVisible());
    m.mAbout()->trigger();
    QCOMPARE(m.aboutForm(), first.data());
    int dialogs = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        dialogs += qobject_cast<frmAbout*>(w) && w->isVisible();
    QCOMPARE(dialogs, 1);

    // "OK" unloads it; the next "About" builds and loads it again.
    AboutAccess { *first }.lblTitle()->setText(QStringLiteral("stale"));
    QTest::mouseClick(AboutAccess { *first }.cmdOK(), Qt::LeftButton);
    QTRY_VERIFY(first.isNull());
    QVERIFY(!m.aboutForm());
    m.mAbout()->trigger();
    QVERIFY(m.aboutForm());
    QCOMPARE(AboutAccess { *m.aboutForm() }.lblTitle()->text(), QStringLiteral("Tilora"));
    QVERIFY(g.platform.calls(QStringLiteral("ShowMessage")).isEmpty());
}

void TestAbout::systemStore_data()
{
    QTest::addColumn<QStringList>("programs"); // "name" executable, "name-" a plain file
    QTest::addColumn<QString>("expected"); // the program named, empty: no key

    QTest::newRow("hardinfo") << QStringList { "hardinfo" } << "hardinfo";
    QTest::newRow("kinfocenter") << QStringList { "kinfocenter" } << "kinfocenter";
    QTest::newRow("hardinfo first") << QStringList { "kinfocenter", "hardinfo" } << "hardinfo";
    QTest::newRow("not executable") << QStringList { "hardinfo-" } << "";
    QTest::newRow("neither") << QStringList {} << "";
}

void TestAbout::systemStore()
{
    QFETCH(QStringList, programs);
    QFETCH(QString, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (QString name : programs) {
        const bool executable = !name.endsWith(QLatin1Char('-'));
        if (!executable)
            name.chop(1);
        MakeProgram(dir.filePath(name), executable);
    }
    PathGuard path(QFile::encodeName(dir.path()));

    Int32 key = 0;
    const long opened = RegOpenKeyExA(SystemRegistry(), HKEY_LOCAL_MACHINE, InfoKey, key);
    if (expected.isEmpty()) {
        QCOMPARE(opened, ERROR_FILE_NOT_FOUND);
        return;
    }
    QCOMPARE(opened, ERROR_SUCCESS);
    std::uint8_t buffer[1024] = {};
    Int32 type = 0;
    Int32 size = 1024;
    QCOMPARE(RegQueryValueExA(key, QStringLiteral("PATH"), type, buffer, size), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(type, 1);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer), size.v()),
        QFile::encodeName(dir.filePath(expected)) + '\0');
}

void TestAbout::icon_data()
{
    QTest::addColumn<int>("size");
    for (int size : { 16, 24, 32, 48, 64, 256 })
        QTest::addRow("%d", size) << size;
}

void TestAbout::icon()
{
    QFETCH(int, size);
    const QImage icon = DrawTiloraIcon(size);
    QCOMPARE(icon.size(), QSize(size, size));
    // Each quarter is a tile of its own bright colour at its middle.
    const QRgb colours[] = { qRgb(255, 0, 0), qRgb(255, 255, 0), qRgb(0, 0, 255), qRgb(0, 255, 0) };
    const QPoint middles[] = { { size / 4, size / 4 }, { 3 * size / 4, size / 4 }, { size / 4, 3 * size / 4 },
        { 3 * size / 4, 3 * size / 4 } };
    for (int i = 0; i < 4; ++i)
        QCOMPARE(icon.pixel(middles[i]), colours[i]);
    if (size >= 48)
        return;
    // Small sizes keep to plain colours: no blended edges.
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const QRgb p = icon.pixel(x, y);
            const bool plain = qAlpha(p) == 0
                || (qAlpha(p) == 255
                    && (p == qRgb(0, 0, 0)
                        || std::find(std::begin(colours), std::end(colours), p) != std::end(colours)));
            QVERIFY2(plain, qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(p, 8, 16)));
        }
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
