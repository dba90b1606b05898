// The arithmetic rules every handler relies on: rounding, checked whole numbers, arrays, division
// and the way an error reaches the player.
#include "FakePlatform.h"
#include "arithmetic.h"
#include "errors.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <limits>

namespace {
// A fault as the tables write it; 0 is none.
constexpr int Code(Fault f)
{
    return 1 + static_cast<int>(f);
}

// The fault a step raised, 0 when it went through.
int ErrorOf(const std::function<void()>& step)
{
    try {
        step();
    } catch (const GameError& e) {
        return Code(e.fault);
    }
    return 0;
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
}

class ArithmeticRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundingHalvesToEven_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("0.5") << 0.5 << 0 << 0;
        QTest::newRow("1.5") << 1.5 << 2 << 0;
        QTest::newRow("2.5") << 2.5 << 2 << 0;
        QTest::newRow("-0.5") << -0.5 << 0 << 0;
        QTest::newRow("-1.5") << -1.5 << -2 << 0;
        QTest::newRow("-2.5") << -2.5 << -2 << 0;
        QTest::newRow("80.25 (321 / 4)") << 80.25 << 80 << 0;
        QTest::newRow("80.5 (322 / 4)") << 80.5 << 80 << 0;
        QTest::newRow("81.5 (326 / 4)") << 81.5 << 82 << 0;
        QTest::newRow("80.75") << 80.75 << 81 << 0;
        QTest::newRow("32767.4 top edge") << 32767.4 << 32767 << 0;
        QTest::newRow("32767.5 rounds out") << 32767.5 << 0 << Code(Fault::Overflow);
        QTest::newRow("-32768.5 rounds to even, in range") << -32768.5 << -32768 << 0;
        QTest::newRow("-32768.6 rounds out") << -32768.6 << 0 << Code(Fault::Overflow);
        QTest::newRow("NaN") << NaN << 0 << Code(Fault::Overflow);
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << 0 << Code(Fault::Overflow);
    }
    void roundingHalvesToEven()
    {
        QFETCH(double, x);
        QFETCH(int, expected);
        QFETCH(int, error);
        Int16 got;
        QCOMPARE(ErrorOf([&] { got = RoundToInt16(x); }), error);
        if (error == 0)
            QCOMPARE(int(got.v()), expected);
    }

    void longRounding_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<qint64>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("2.5") << 2.5 << qint64(2) << 0;
        QTest::newRow("3.5") << 3.5 << qint64(4) << 0;
        QTest::newRow("-40000.5") << -40000.5 << qint64(-40000) << 0;
        QTest::newRow("beyond 16 bits") << 40000.0 << qint64(40000) << 0;
        QTest::newRow("2147483646.5") << 2147483646.5 << qint64(2147483646) << 0;
        QTest::newRow("2147483647.5 rounds out") << 2147483647.5 << qint64(0) << Code(Fault::Overflow);
        QTest::newRow("-2147483648.5 to even") << -2147483648.5 << qint64(-2147483648LL) << 0;
        QTest::newRow("NaN") << NaN << qint64(0) << Code(Fault::Overflow);
    }
    void longRounding()
    {
        QFETCH(double, x);
        QFETCH(qint64, expected);
        QFETCH(int, error);
        Int32 got;
        QCOMPARE(ErrorOf([&] { got = RoundToInt32(x); }), error);
        if (error == 0)
            QCOMPARE(qint64(got.v()), expected);
    }

    void intIsTheFloor_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        QTest::newRow("1.9") << 1.9 << 1.0;
        QTest::newRow("-0.5") << -0.5 << -1.0;
        QTest::newRow("-1") << -1.0 << -1.0;
        QTest::newRow("-1.5") << -1.5 << -2.0;
        QTest::newRow("-0.0001") << -0.0001 << -1.0;
        // (p - 1) / size at the very first pixel of a region.
        QTest::newRow("-1 / 80") << -1.0 / 80 << -1.0;
    }
    void intIsTheFloor()
    {
        QFETCH(double, x);
        QFETCH(double, expected);
        QCOMPARE(Int(x), expected);
    }

    void integerArithmeticIsChecked_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("32766 + 1") << 32766 << "+" << 1 << 32767 << 0;
        QTest::newRow("32767 + 1") << 32767 << "+" << 1 << 0 << Code(Fault::Overflow);
        QTest::newRow("-32767 - 1") << -32767 << "-" << 1 << -32768 << 0;
        QTest::newRow("-32768 - 1") << -32768 << "-" << 1 << 0 << Code(Fault::Overflow);
        QTest::newRow("0 - -32768") << 0 << "-" << -32768 << 0 << Code(Fault::Overflow);
        QTest::newRow("181 * 181") << 181 << "*" << 181 << 32761 << 0;
        QTest::newRow("182 * 181") << 182 << "*" << 181 << 0 << Code(Fault::Overflow);
        QTest::newRow("-256 * 128") << -256 << "*" << 128 << -32768 << 0;
        QTest::newRow("256 * 128") << 256 << "*" << 128 << 0 << Code(Fault::Overflow);
        QTest::newRow("-1 * -32768") << -1 << "*" << -32768 << 0 << Code(Fault::Overflow);
        QTest::newRow("negate -32768") << -32768 << "neg" << 0 << 0 << Code(Fault::Overflow);
        // The layout's widest product: 2 * n * PieceW.
        QTest::newRow("8 * 4096") << 8 << "*" << 4096 << 0 << Code(Fault::Overflow);
        QTest::newRow("8 * 4095") << 8 << "*" << 4095 << 32760 << 0;
    }
    void integerArithmeticIsChecked()
    {
        QFETCH(int, a);
        QFETCH(QString, op);
        QFETCH(int, b);
        QFETCH(int, expected);
        QFETCH(int, error);
        const Int16 x = a, y = b;
        Int16 r;
        const int raised = ErrorOf([&] {
            if (op == QLatin1String("+"))
                r = x + y;
            else if (op == QLatin1String("-"))
                r = x - y;
            else if (op == QLatin1String("*"))
                r = x * y;
            else
                r = -x;
        });
        QCOMPARE(raised, error);
        if (error == 0)
            QCOMPARE(int(r.v()), expected);
    }

    void narrowingIsChecked_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("integerError");
        QTest::addColumn<int>("byteError");
        QTest::newRow("0") << qint64(0) << 0 << 0;
        QTest::newRow("255") << qint64(255) << 0 << 0;
        QTest::newRow("256") << qint64(256) << 0 << Code(Fault::Overflow);
        QTest::newRow("-1") << qint64(-1) << 0 << Code(Fault::Overflow);
        QTest::newRow("40000") << qint64(40000) << Code(Fault::Overflow) << Code(Fault::Overflow);
        QTest::newRow("-32769") << qint64(-32769) << Code(Fault::Overflow) << Code(Fault::Overflow);
    }
    void narrowingIsChecked()
    {
        QFETCH(qint64, value);
        QFETCH(int, integerError);
        QFETCH(int, byteError);
        const Int32 wide = Int32(value);
        QCOMPARE(ErrorOf([&] { (void)Int16(wide); }), integerError);
        QCOMPARE(ErrorOf([&] { (void)UInt8(wide); }), byteError);
    }

    void mirrorFlagToggles_data()
    {
        QTest::addColumn<int>("flag");
        QTest::addColumn<int>("toggled");
        QTest::addColumn<int>("error");
        QTest::newRow("0 -> 1") << 0 << 1 << 0;
        QTest::newRow("1 -> 0") << 1 << 0 << 0;
        // A flag that was never 0 or 1 cannot be toggled into a byte.
        QTest::newRow("2 cannot") << 2 << 0 << Code(Fault::Overflow);
    }
    void mirrorFlagToggles()
    {
        QFETCH(int, flag);
        QFETCH(int, toggled);
        QFETCH(int, error);
        UInt8 f = flag;
        QCOMPARE(ErrorOf([&] { f = 1 - f; }), error);
        if (error == 0) {
            QCOMPARE(int(f.v()), toggled);
            f = 1 - f;
            QCOMPARE(int(f.v()), flag);
        }
    }

    void arrayBoundsAreChecked_data()
    {
        QTest::addColumn<int>("hi");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("error");
        QTest::newRow("first") << 16 << 1 << 0;
        QTest::newRow("last") << 16 << 16 << 0;
        QTest::newRow("zero") << 16 << 0 << Code(Fault::IndexOutOfRange);
        QTest::newRow("one past") << 16 << 17 << Code(Fault::IndexOutOfRange);
        QTest::newRow("negative") << 16 << -1 << Code(Fault::IndexOutOfRange);
        QTest::newRow("empty array") << 0 << 1 << Code(Fault::IndexOutOfRange);
    }
    void arrayBoundsAreChecked()
    {
        QFETCH(int, hi);
        QFETCH(int, index);
        QFETCH(int, error);
        Array<Int16> a;
        a.Recreate(1, hi);
        QCOMPARE(a.Lower(), 1L);
        QCOMPARE(a.Upper(), long(hi));
        QCOMPARE(ErrorOf([&] { a(index) = 7; }), error);
        QCOMPARE(ErrorOf([&] { (void)a(Int16(index)); }), error);
    }

    void realDivision_data()
    {
        QTest::addColumn<double>("a");
        QTest::addColumn<double>("b");
        QTest::addColumn<double>("expected");
        QTest::addColumn<int>("error");
        QTest::newRow("7 / 2") << 7.0 << 2.0 << 3.5 << 0;
        QTest::newRow("-1 / 80") << -1.0 << 80.0 << -0.0125 << 0;
        QTest::newRow("1 / 0") << 1.0 << 0.0 << 0.0 << Code(Fault::DivisionByZero);
        QTest::newRow("-5 / 0") << -5.0 << 0.0 << 0.0 << Code(Fault::DivisionByZero);
        QTest::newRow("0 / 0") << 0.0 << 0.0 << 0.0 << Code(Fault::Overflow);
        QTest::newRow("huge / tiny") << 1e308 << 1e-308 << 0.0 << Code(Fault::Overflow);
    }
    void realDivision()
    {
        QFETCH(double, a);
        QFETCH(double, b);
        QFETCH(double, expected);
        QFETCH(int, error);
        double got = 0;
        QCOMPARE(ErrorOf([&] { got = Div(a, b); }), error);
        if (error == 0)
            QCOMPARE(got, expected);
    }

    void guardReportsAndGoesOn_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<double>("figure"); // NaN: none
        QTest::addColumn<int>("task");
        QTest::addColumn<bool>("taskEnded");
        QTest::addColumn<QString>("text");
        const int other = int(Task::Other), level = int(Task::Level), open = int(Task::OpenPicture);
        const QString fault = QStringLiteral("A apărut o eroare în joc, iar pasul acesta nu s-a făcut; "
                                             "puteți juca mai departe.|");
        const QString overflow = QStringLiteral("Un calcul al jocului a ieșit din limitele numerelor cu care "
                                                "lucrează, iar pasul acesta nu s-a făcut.|");
        const int tooBig = Code(Fault::Overflow), index = Code(Fault::IndexOutOfRange);
        QTest::newRow("overflow, its figure named")
            << tooBig << 40000.0 << other << false << overflow + "Valoarea care a ieșit din limite: 40000.";
        QTest::newRow("a real step without a value")
            << tooBig << NaN << other << false << overflow + "Un calcul nu a dat un număr.";
        QTest::newRow("index") << index << NaN << other << false
                               << fault + "Jocul a căutat o piesă sau o căsuță care nu există.";
        QTest::newRow("division") << Code(Fault::DivisionByZero) << NaN << other << false
                                  << fault + "Un calcul ar fi împărțit la zero.";
        QTest::newRow("picture") << Code(Fault::UnreadablePicture) << NaN << open << false
                                 << QStringLiteral("Poza \"vara.jpg\" nu a putut fi deschisă.");
        QTest::newRow("any other fault in a level step")
            << index << NaN << level << false
            << QStringLiteral("Nivelul scris nu se poate folosi. Doar de la 2 la 3.");
        QTest::newRow("not a number in the level box")
            << Code(Fault::NotANumber) << NaN << level << false
            << QStringLiteral("În căsuța nivelului trebuie scris un număr, de exemplu 5.");
        QTest::newRow("level out of range")
            << tooBig << 40000.0 << level << false
            << QStringLiteral(
                   "Numărul din căsuța nivelului este mult prea mare sau prea mic. Doar de la 2 la 3.");
        QTest::newRow("picture too large for the layout")
            << tooBig << NaN << open << false
            << QStringLiteral(
                   "Poza \"vara.jpg\" este prea mare pentru tabla jocului: poate avea cel mult 16 000 de "
                   "pixeli în lățime și 32 000 în înălțime.");
        QTest::newRow("picture too large for the memory")
            << Code(Fault::OutOfMemory) << NaN << open << false
            << QStringLiteral("Poza \"vara.jpg\" nu încape în memoria rămasă; încercați una mai mică.");
        QTest::newRow("after the level step ended")
            << tooBig << 7.5e9 << level << true << overflow + "Valoarea care a ieșit din limite: 7500000000.";
    }
    void guardReportsAndGoesOn()
    {
        QFETCH(int, fault);
        QFETCH(double, figure);
        QFETCH(int, task);
        QFETCH(bool, taskEnded);
        QFETCH(QString, text);
        const std::optional<double> figured = std::isnan(figure) ? std::nullopt : std::optional(figure);
        FakePlatform platform;
        int stepsDone = 0;
        Guarded(platform, [&] {
            ++stepsDone;
            {
                // What a task is about: the levels there are, or the picture's name.
                const DuringTask during(static_cast<Task>(task),
                    task == int(Task::Level) ? QStringLiteral("Doar de la 2 la 3.")
                                             : QStringLiteral("vara.jpg"));
                if (!taskEnded)
                    Raise(static_cast<Fault>(fault - 1), figured);
            }
            Raise(static_cast<Fault>(fault - 1), figured);
            ++stepsDone;
        });
        QCOMPARE(stepsDone, 1);
        QCOMPARE(platform.log, QStringList { QStringLiteral("ShowMessage Tilora|") + text });
        // The next event runs as if nothing had happened.
        Guarded(platform, [&] { ++stepsDone; });
        QCOMPARE(stepsDone, 2);
        QCOMPARE(platform.log.size(), 1);
    }
};

QTEST_GUILESS_MAIN(ArithmeticRules)
#include "tst_arithmetic.moc"
