#include "FakePlatform.h"
#include "MainAccess.h"

#include <QTest>

class Smoke : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startsAtLevelFour()
    {
        FakePlatform platform;
        Main main(platform);
        MainAccess a { main };
        QCOMPARE(a.Divisions(), 4);
        QCOMPARE(a.PieceW(), 80);
        QCOMPARE(a.Tray().UBound(), 16L);
        QVERIFY(platform.calls(QStringLiteral("MsgBox")).isEmpty());
    }
};

QTEST_MAIN(Smoke)
#include "tst_smoke.moc"
