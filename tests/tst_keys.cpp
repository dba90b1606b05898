// Keys as a player presses them on the window on screen: the preview on F4 and Esc whichever
// control has the focus, the menu's accelerators, and Exit.
#include "Game.h"
#include "TestPictures.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>

#include <algorithm>

namespace {
// Writes down the keys that reach a control.
class KeySpy : public QObject {
public:
    QList<int> keys;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress)
            keys << static_cast<QKeyEvent*>(e)->key();
        return false;
    }
};

struct Shown : Game {
    KeySpy spy;

    bool up()
    {
        main.show();
        a.Text1()->installEventFilter(&spy);
        return QTest::qWaitForWindowActive(&main);
    }
    // The level panel open and its text box holding the focus.
    bool focusText()
    {
        a.mDefDiv()->trigger();
        a.Text1()->setFocus();
        return QTest::qWaitFor([&] { return a.Text1()->hasFocus(); });
    }
    void key(Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &main, k, mods);
    }
};
}

class Keys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void previewOnF4_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("inText");
        QTest::addColumn<bool>("picture");
        QTest::newRow("F4") << int(Qt::NoModifier) << false << false;
        QTest::newRow("Ctrl+F4") << int(Qt::ControlModifier) << false << false;
        QTest::newRow("Shift+F4") << int(Qt::ShiftModifier) << false << false;
        QTest::newRow("Ctrl+Shift+F4") << int(Qt::ControlModifier | Qt::ShiftModifier) << false << false;
        QTest::newRow("F4 in the text box") << int(Qt::NoModifier) << true << false;
        QTest::newRow("Ctrl+F4 in the text box") << int(Qt::ControlModifier) << true << false;
        QTest::newRow("F4 with a picture") << int(Qt::NoModifier) << false << true;
    }
    void previewOnF4()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, inText);
        QFETCH(bool, picture);
        Shown s;
        QVERIFY(s.up());
        if (inText)
            QVERIFY(s.focusText());
        if (picture)
            s.a.Picture3()->setPicture(TestPicture(200, 150));
        PictureBox& preview = *s.a.Picture3();
        const QImage shown = preview.image();
        const QImage board = s.a.Picture1()->image();
        const double width = preview.Width(), height = preview.Height();
        QVERIFY(!preview.Visible());
        // Designed at the window's top-left corner, above the play surface that starts lower.
        QCOMPARE(preview.Top(), 0.0);

        const auto mods = Qt::KeyboardModifiers(modifiers);
        for (int press = 1; press <= 2; ++press) {
            s.key(Qt::Key_F4, mods);
            QVERIFY(preview.Visible());
            QCOMPARE(preview.Left(), s.a.Picture1()->Left());
            QCOMPARE(preview.Top(), s.a.Picture1()->Top());
            QCOMPARE(preview.Width(), width);
            QCOMPARE(preview.Height(), height);
        }
        if (inText)
            QCOMPARE(s.spy.keys.count(Qt::Key_F4), 2);

        s.key(Qt::Key_Escape);
        QVERIFY(!preview.Visible());
        s.key(Qt::Key_Escape);
        QVERIFY(!preview.Visible());
        QCOMPARE(preview.Top(), s.a.Picture1()->Top());
        // Nothing was drawn by either key.
        QCOMPARE(FirstDifference(preview.image(), shown), QPoint(-1, -1));
        QCOMPARE(FirstDifference(s.a.Picture1()->image(), board), QPoint(-1, -1));
        QCOMPARE(s.platform.log, QStringList());
    }

    void otherKeysDoNothing_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("F3") << int(Qt::Key_F3);
        QTest::newRow("F5") << int(Qt::Key_F5);
        QTest::newRow("s") << int(Qt::Key_S);
        QTest::newRow("Enter") << int(Qt::Key_Return);
    }
    void otherKeysDoNothing()
    {
        QFETCH(int, key);
        Shown s;
        QVERIFY(s.up());
        s.key(Qt::Key(key));
        QVERIFY(!s.a.Picture3()->Visible());
        QVERIFY(!s.a.Frame1()->isVisible());
        QCOMPARE(s.platform.log, QStringList());
    }

    void typingStillReachesTheTextBox()
    {
        Shown s;
        QVERIFY(s.up());
        QVERIFY(s.focusText());
        s.a.Text1()->clear();
        QTest::keyClicks(s.a.Text1(), QStringLiteral("12"));
        s.key(Qt::Key_F4);
        s.key(Qt::Key_Escape);
        QTest::keyClick(s.a.Text1(), Qt::Key_Backspace);
        QCOMPARE(s.a.Text1()->text(), QStringLiteral("1"));
        QCOMPARE(
            s.spy.keys, QList<int>({ Qt::Key_1, Qt::Key_2, Qt::Key_F4, Qt::Key_Escape, Qt::Key_Backspace }));
    }

    void accelerators_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        // "window": nothing in particular focused; "text": the level panel's text box focused;
        // "text, deal allowed": the same with the deal enabled, to see the key reach the menu and not
        // the text box's select-all; "text, level stepped": the same after "Level Up", which holds the
        // deal until "Ok"; "after a deal": the level command disabled by a shuffle.
        QTest::addColumn<QString>("where");
        // What must happen: "open", "deal", "level", "about" or "nothing".
        QTest::addColumn<QString>("effect");
        const int ctrl = int(Qt::ControlModifier);
        QTest::newRow("Ctrl+D") << int(Qt::Key_D) << ctrl << "window"
                                << "open";
        QTest::newRow("Ctrl+D in the text box") << int(Qt::Key_D) << ctrl << "text"
                                                << "open";
        QTest::newRow("Ctrl+A") << int(Qt::Key_A) << ctrl << "window"
                                << "deal";
        QTest::newRow("Ctrl+A in the text box") << int(Qt::Key_A) << ctrl << "text, deal allowed"
                                                << "deal";
        QTest::newRow("Ctrl+A while the panel is open") << int(Qt::Key_A) << ctrl << "text"
                                                        << "deal";
        QTest::newRow("Ctrl+A after a level step") << int(Qt::Key_A) << ctrl << "text, level stepped"
                                                   << "nothing";
        QTest::newRow("Ctrl+G") << int(Qt::Key_G) << ctrl << "window"
                                << "level";
        QTest::newRow("Ctrl+G in the text box") << int(Qt::Key_G) << ctrl << "text"
                                                << "level";
        QTest::newRow("Ctrl+G after a deal") << int(Qt::Key_G) << ctrl << "after a deal"
                                             << "nothing";
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "window"
                            << "about";
        QTest::newRow("F1 in the text box") << int(Qt::Key_F1) << 0 << "text"
                                            << "about";
    }
    void accelerators()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, where);
        QFETCH(QString, effect);
        Shown s;
        QVERIFY(s.up());
        const bool inText = where.startsWith(QLatin1String("text"));
        if (inText) {
            QVERIFY(s.focusText());
            s.a.Text1()->setText(QStringLiteral("typed"));
        }
        if (where == QLatin1String("text, deal allowed"))
            s.a.mAmesteca()->setEnabled(true);
        if (where == QLatin1String("text, level stepped")) {
            s.a.Text1()->setText(QStringLiteral("4"));
            QTest::mouseClick(s.a.cmdLevel(), Qt::LeftButton);
            QVERIFY(s.focusText());
            s.a.Text1()->setText(QStringLiteral("typed"));
        }
        if (where == QLatin1String("after a deal")) {
            s.a.mAmesteca()->trigger();
            QVERIFY(s.a.Dealt());
            QVERIFY(!s.a.mDefDiv()->isEnabled());
        }
        const bool dealtBefore = s.a.Dealt();
        const bool panelBefore = s.a.Frame1()->isVisible();
        s.platform.clear();

        s.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));

        QCOMPARE(!s.platform.calls(QStringLiteral("OpenFile")).isEmpty(), effect == QLatin1String("open"));
        QCOMPARE(s.a.Dealt(), dealtBefore || effect == QLatin1String("deal"));
        const bool about = s.a.aboutForm() && s.a.aboutForm()->isVisible();
        QCOMPARE(about, effect == QLatin1String("about"));
        QCOMPARE(s.a.Frame1()->isVisible(), panelBefore || effect == QLatin1String("level"));
        if (effect == QLatin1String("level"))
            QCOMPARE(s.a.Text1()->text(), QStringLiteral("4"));
        else if (inText)
            QCOMPARE(s.a.Text1()->text(), QStringLiteral("typed"));
        if (effect == QLatin1String("deal") && inText)
            QCOMPARE(s.a.Text1()->selectedText(), QString());
        QCOMPARE(s.platform.calls(QStringLiteral("ShowMessage")), QStringList());
    }

    // The play surface holds the focus from the start and Tab walks the controls that can be seen,
    // in their designed order, round to it again.
    void tabOrder_data()
    {
        QTest::addColumn<bool>("panel");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("focus");
        const QStringList none { "Picture1", "Picture1" };
        QTest::newRow("Tab") << false << false << int(Qt::Key_Tab) << none;
        QTest::newRow("Shift+Tab") << false << false << int(Qt::Key_Backtab) << none;
        QTest::newRow("Tab with the preview shown") << false << true << int(Qt::Key_Tab) << none;
        QTest::newRow("Tab with the panel open")
            << true << false << int(Qt::Key_Tab)
            << QStringList { "cmdLevel", "Text1", "cmdOk", "cmdDown", "Picture1", "cmdLevel" };
        QTest::newRow("Shift+Tab with the panel open")
            << true << false << int(Qt::Key_Backtab)
            << QStringList { "cmdDown", "cmdOk", "Text1", "cmdLevel", "Picture1", "cmdDown" };
    }
    void tabOrder()
    {
        QFETCH(bool, panel);
        QFETCH(bool, preview);
        QFETCH(int, key);
        QFETCH(QStringList, focus);
        Shown s;
        QVERIFY(s.up());
        QCOMPARE(QApplication::focusWidget(), s.a.Picture1());
        if (panel)
            s.a.mDefDiv()->trigger();
        if (preview)
            s.key(Qt::Key_F4);
        QStringList seen;
        for (int i = 0; i < focus.size(); ++i) {
            s.key(Qt::Key(key));
            seen << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
        }
        QCOMPARE(seen, focus);
    }

    void aboutTwiceIsOneWindow()
    {
        Shown s;
        QVERIFY(s.up());
        s.a.mAbout()->trigger();
        QPointer<frmAbout> first = s.a.aboutForm();
        QVERIFY(first && first->isVisible());
        s.a.mAbout()->trigger();
        QCOMPARE(s.a.aboutForm(), first.data());
        const QWidgetList windows = QApplication::topLevelWidgets();
        QCOMPARE(std::count_if(windows.begin(), windows.end(),
                     [](QWidget* w) { return qobject_cast<frmAbout*>(w) && w->isVisible(); }),
            1);
    }

    void exitEndsTheProgram()
    {
        Shown s;
        QVERIFY(s.up());
        s.a.mExit()->trigger();
        QCOMPARE(s.platform.quits, 1);
        QCOMPARE(s.platform.log, QStringList { QStringLiteral("Quit") });
    }
};

QTEST_MAIN(Keys)
#include "tst_keys.moc"
