#include "gui/WindowMenu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>
#include <utility>

#include "gui/Forms.h"
#include "gui/SeriesWindow.h"
#include "gui/TForm1.h"
#include "gui/TForm2.h"
#include "gui/TForm3.h"

void bringBack(QWidget* window)
{
    if (window == nullptr) return;
    if (window->isMinimized()) window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

QMenu* makeWindowMenu(QWidget* owner)
{
    auto* menu = new QMenu(QStringLiteral("&Window"), owner);
    QAction* main = menu->addAction(QStringLiteral("&Main window"));
    QAction* picture = menu->addAction(QStringLiteral("&Picture window"));
    QAction* report = menu->addAction(QStringLiteral("&Report window"));
    QAction* series = menu->addAction(QStringLiteral("&Series window"));
    // The windows are looked up when chosen: the menu is made while they are being created.
    QObject::connect(main, &QAction::triggered, owner, [] { bringBack(Form1); });
    QObject::connect(picture, &QAction::triggered, owner, [] { bringBack(Form2); });
    QObject::connect(report, &QAction::triggered, owner, [] { bringBack(Form3); });
    QObject::connect(series, &QAction::triggered, owner, [] { bringBack(seriesWindowIfOpen()); });
    QObject::connect(menu, &QMenu::aboutToShow, owner, [picture, series] {
        picture->setEnabled(Form2 != nullptr && !std::as_const(*Form2).layers().Image1.empty());
        series->setEnabled(seriesWindowIfOpen() != nullptr && seriesWindowIfOpen()->series().size() > 0);
    });
    return menu;
}
