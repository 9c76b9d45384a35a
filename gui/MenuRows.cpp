#include "gui/MenuRows.h"

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>
#include <numeric>

MenuRows::MenuRows(QWidget* parent) : QWidget(parent)
{
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QAction* MenuRows::addAction(const QString& text)
{
    auto* item = new QAction(text, parentWidget() != nullptr ? parentWidget() : this);
    addItem(item);
    return item;
}

QMenu* MenuRows::addMenu(const QString& title)
{
    auto* menu = new QMenu(title, parentWidget() != nullptr ? parentWidget() : this);
    addMenu(menu);
    return menu;
}

void MenuRows::addMenu(QMenu* menu) { addItem(menu->menuAction()); }

void MenuRows::addItem(QAction* item)
{
    items_.append(item);
    QString shown = item->text();
    connect(item, &QAction::changed, this, [this, item, shown]() mutable {
        // Enabling or checking an item changes nothing here; only a new caption takes another width.
        if (item->text() == shown) return;
        shown = item->text();
        captionsChanged();
    });
    captionsChanged();
}

void MenuRows::reserveWidth(QAction* item, const QStringList& captions)
{
    reserved_[item] = captions;
    captionsChanged();
}

std::vector<QMenuBar*> MenuRows::rows() const
{
    std::vector<QMenuBar*> used;
    for (QMenuBar* bar : bars_)
        if (!bar->actions().isEmpty()) used.push_back(bar);
    return used;
}

const MenuRows::Measure& MenuRows::measure() const
{
    if (measured_) return measure_;
    // Each item's widest caption laid out on a bar of this font and style with room to spare. The
    // stand-ins carry no mnemonic (it takes no room), so they take no keys from the window meanwhile.
    QMenuBar probe(const_cast<MenuRows*>(this));
    probe.setNativeMenuBar(false);
    probe.hide();
    probe.resize(100000, 100);
    const QFontMetrics metrics = probe.fontMetrics();
    std::vector<std::unique_ptr<QAction>> standIns;
    for (QAction* item : items_) {
        QString widest = item->text();
        const auto found = reserved_.find(item);
        if (found != reserved_.end())
            for (const QString& caption : found->second)
                if (metrics.horizontalAdvance(caption) > metrics.horizontalAdvance(widest)) widest = caption;
        standIns.push_back(std::make_unique<QAction>(QString(widest).remove(QLatin1Char('&'))));
        probe.addAction(standIns.back().get());
    }
    measure_ = Measure{};
    for (const auto& standIn : standIns)
        measure_.widths.push_back(probe.actionGeometry(standIn.get()).width());
    if (!standIns.empty()) {
        const QRect first = probe.actionGeometry(standIns.front().get());
        measure_.margins = first.left();
        if (standIns.size() > 1)
            measure_.spacing = probe.actionGeometry(standIns[1].get()).left() - first.right() - 1;
    }
    measure_.rowHeight = probe.sizeHint().height();
    for (const auto& standIn : standIns) probe.removeAction(standIn.get());
    measured_ = true;
    return measure_;
}

std::vector<int> MenuRows::rowStarts(int width) const
{
    const Measure& sizes = measure();
    std::vector<int> starts;
    int used = 0;  // room taken in the current row
    for (int i = 0; i < static_cast<int>(sizes.widths.size()); ++i) {
        const int item = sizes.widths[static_cast<std::size_t>(i)];
        // One pixel to spare, so that rounding in the bar's own layout never pushes an item out.
        if (starts.empty() || used + sizes.spacing + item + sizes.margins + 1 > width) {
            starts.push_back(i);
            used = sizes.margins + item;
        } else {
            used += sizes.spacing + item;
        }
    }
    return starts;
}

int MenuRows::oneRowWidth() const
{
    const Measure& sizes = measure();
    if (sizes.widths.empty()) return 0;
    const int items = std::accumulate(sizes.widths.begin(), sizes.widths.end(), 0);
    return 2 * sizes.margins + items + sizes.spacing * (static_cast<int>(sizes.widths.size()) - 1) + 1;
}

int MenuRows::rowCountAt(int width) const { return std::max(1, static_cast<int>(rowStarts(width).size())); }

int MenuRows::heightForWidth(int width) const { return rowCountAt(width) * measure().rowHeight; }

QSize MenuRows::sizeHint() const { return QSize(oneRowWidth(), measure().rowHeight); }

QSize MenuRows::minimumSizeHint() const
{
    // As narrow as the widest item, which then stands alone in its row.
    const Measure& sizes = measure();
    const int widest = sizes.widths.empty() ? 0 : *std::max_element(sizes.widths.begin(), sizes.widths.end());
    return QSize(2 * sizes.margins + widest + 1, sizes.rowHeight);
}

void MenuRows::arrange(int width)
{
    const std::vector<int> starts = rowStarts(width);
    if (starts == arranged_) return;
    arranged_ = starts;
    for (QMenuBar* bar : bars_)
        for (QAction* item : bar->actions()) bar->removeAction(item);
    while (bars_.size() < starts.size()) {
        auto* bar = new QMenuBar(this);
        bar->setNativeMenuBar(false);
        layout_->addWidget(bar);
        bars_.push_back(bar);
    }
    for (std::size_t row = 0; row < bars_.size(); ++row) {
        const bool used = row < starts.size();
        if (used) {
            const int end = row + 1 < starts.size() ? starts[row + 1] : static_cast<int>(items_.size());
            for (int i = starts[row]; i < end; ++i) bars_[row]->addAction(items_.at(i));
        }
        bars_[row]->setVisible(used);
    }
    updateGeometry();
}

void MenuRows::captionsChanged()
{
    measured_ = false;
    arrange(width());
}

void MenuRows::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(event->size().width());
}

void MenuRows::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) captionsChanged();
}
