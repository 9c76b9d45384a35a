#pragma once
// MenuRows: a menu bar that wraps. Its items stand in order in as many rows as the window's width needs,
// each row a menu bar of its own, so that on a narrow window (a small screen, a large scale factor) every
// item shows its whole caption instead of going into a menu bar's overflow button. The items' keys and
// mnemonics work as in one bar.
//
// Set as the window's menu widget (QMainWindow::setMenuWidget); the window's layout asks it for its
// height at the window's width.

#include <QList>
#include <QStringList>
#include <QWidget>
#include <map>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QVBoxLayout;

class MenuRows : public QWidget {
    Q_OBJECT
public:
    explicit MenuRows(QWidget* parent = nullptr);

    /// A command item at the end of the bar.
    QAction* addAction(const QString& text);
    /// A menu at the end of the bar.
    QMenu* addMenu(const QString& title);
    /// An existing menu at the end of the bar.
    void addMenu(QMenu* menu);
    /// Every item keeps room for the widest of captions (its own current caption included), so that a
    /// caption that changes with the state does not move the items from row to row.
    void reserveWidth(QAction* item, const QStringList& captions);

    /// The items in their order (a menu by its menuAction()).
    const QList<QAction*>& items() const { return items_; }
    /// The rows in use, top to bottom.
    std::vector<QMenuBar*> rows() const;
    /// The width at which every item fits into one row.
    int oneRowWidth() const;
    /// How many rows the items take at width.
    int rowCountAt(int width) const;

    /// A window holding the rows should set its own minimum size: the one its layout takes from them is
    /// as high as the rows are at their least width, with one item a row.
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void addItem(QAction* item);
    /// The room each item takes in a row, and the room a row takes besides its items, measured on a
    /// menu bar of this style and font. Cached until a caption, the font or the style changes.
    struct Measure {
        std::vector<int> widths;  // per item
        int spacing = 0;          // between two items
        int margins = 0;          // before the first and after the last
        int rowHeight = 0;
    };
    const Measure& measure() const;
    /// The index of the first item of each row at width.
    std::vector<int> rowStarts(int width) const;
    /// Puts the items into the rows they take at width.
    void arrange(int width);
    void captionsChanged();

    QList<QAction*> items_;
    std::map<QAction*, QStringList> reserved_;
    std::vector<QMenuBar*> bars_;  // rows_, used and spare
    std::vector<int> arranged_;    // rowStarts of the items as they stand
    QVBoxLayout* layout_ = nullptr;
    mutable bool measured_ = false;
    mutable Measure measure_;
};
