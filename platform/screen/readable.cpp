// A screen reader reads the play surface as what a player sees on it: the tray and the board, each a
// list of its cells, every cell named by its row and column and by what lies in it, in the game's
// own words. The cell under the key cursor is the one with the focus, so the reader follows the keys.
#include "PictureBox.h"

#include <QAccessibleWidget>
#include <QPointer>

#include <map>
#include <tuple>

namespace {
// The interfaces handed to screen readers for each frame's regions (cell 0) and cells: made once, so
// that a reader asking twice meets the same one, and dropped when the cells change.
using Key = std::tuple<const PictureBox*, bool, int>;
std::map<Key, QAccessible::Id>& Handed()
{
    static std::map<Key, QAccessible::Id> handed;
    return handed;
}

QAccessibleInterface* Reading(PictureBox* box, bool board, int cell);

QRect Global(const PictureBox* box, const QRect& r)
{
    return r.isEmpty() ? QRect() : QRect(box->mapToGlobal(r.topLeft()), r.size());
}

class CellReading : public QAccessibleInterface {
public:
    CellReading(PictureBox* box, CellAt at)
        : box_(box)
        , at_(at)
    {
    }
    bool isValid() const override { return box_ && at_.cell <= box_->playCells().n * box_->playCells().n; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return box_ ? box_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return box_ ? Reading(box_, at_.board, 0) : nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return {};
        const int n = box_->playCells().n;
        return QStringLiteral("rândul %1, coloana %2: %3")
            .arg((at_.cell - 1) / n + 1)
            .arg((at_.cell - 1) % n + 1)
            .arg(box_->describeCell(at_));
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override { return box_ ? Global(box_, box_->cellOnScreen(at_)) : QRect(); }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.invisible = !box_->isVisible();
        s.focused = box_->hasFocus() && box_->keyCursor() == at_;
        return s;
    }
    CellAt at() const { return at_; }

private:
    QPointer<PictureBox> box_;
    CellAt at_;
};

class RegionReading : public QAccessibleInterface {
public:
    RegionReading(PictureBox* box, bool board)
        : box_(box)
        , board_(board)
    {
    }
    bool isValid() const override { return box_ && box_->playCells().n > 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return box_ ? box_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* cell = child(i); cell->rect().contains(x, y))
                return cell;
        return nullptr;
    }
    QAccessibleInterface* parent() const override
    {
        return box_ ? QAccessible::queryAccessibleInterface(box_.data()) : nullptr;
    }
    QAccessibleInterface* child(int index) const override
    {
        return index >= 0 && index < childCount() ? Reading(box_, board_, index + 1) : nullptr;
    }
    int childCount() const override { return isValid() ? box_->playCells().n * box_->playCells().n : 0; }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* cell = dynamic_cast<const CellReading*>(child);
        return cell && cell->at().board == board_ ? cell->at().cell - 1 : -1;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return {};
        return board_ ? QStringLiteral("Tabla") : QStringLiteral("Tava");
    }
    void setText(QAccessible::Text, const QString&) override { }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const int n = box_->playCells().n;
        return Global(
            box_, box_->cellOnScreen(CellAt { board_, 1 }) | box_->cellOnScreen(CellAt { board_, n * n }));
    }
    QAccessible::Role role() const override { return QAccessible::List; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invalid = !isValid();
        s.invisible = !box_ || !box_->isVisible();
        return s;
    }
    bool board() const { return board_; }

private:
    QPointer<PictureBox> box_;
    bool board_;
};

class BoxReading : public QAccessibleWidget {
public:
    explicit BoxReading(PictureBox* box)
        : QAccessibleWidget(box, QAccessible::Grouping)
    {
    }
    PictureBox* box() const { return static_cast<PictureBox*>(widget()); }
    int childCount() const override { return box()->playCells().n > 0 ? 2 : 0; }
    QAccessibleInterface* child(int index) const override
    {
        return index >= 0 && index < childCount() ? Reading(box(), index == 1, 0) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* region = dynamic_cast<const RegionReading*>(child);
        return region && childCount() > 0 ? int(region->board()) : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface* region = child(i); region->rect().contains(x, y))
                return region->childAt(x, y);
        return nullptr;
    }
    QAccessibleInterface* focusChild() const override
    {
        const CellAt at = box()->keyCursor();
        return at.cell > 0 && box()->hasFocus() ? Reading(box(), at.board, at.cell) : nullptr;
    }
};

QAccessibleInterface* Reading(PictureBox* box, bool board, int cell)
{
    QAccessible::Id& id = Handed()[Key { box, board, cell }];
    if (QAccessibleInterface* made = id ? QAccessible::accessibleInterface(id) : nullptr)
        return made;
    QAccessibleInterface* made = cell == 0 ? static_cast<QAccessibleInterface*>(new RegionReading(box, board))
                                           : new CellReading(box, CellAt { board, cell });
    id = QAccessible::registerAccessibleInterface(made);
    return made;
}

QAccessibleInterface* ReadFrame(const QString& className, QObject* object)
{
    if (className == QLatin1String("PictureBox"))
        if (auto* box = qobject_cast<PictureBox*>(object))
            return new BoxReading(box);
    return nullptr;
}
}

void PictureBox::forgetReadableCells()
{
    std::map<Key, QAccessible::Id>& handed = Handed();
    for (auto i = handed.lower_bound(Key { this, false, 0 });
         i != handed.end() && std::get<0>(i->first) == this;) {
        if (i->second)
            QAccessible::deleteAccessibleInterface(i->second);
        i = handed.erase(i);
    }
}

void PictureBox::readAsCells()
{
    static const bool installed = (QAccessible::installFactory(&ReadFrame), true);
    (void)installed;
}
