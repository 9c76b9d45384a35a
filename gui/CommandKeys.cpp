#include "gui/CommandKeys.h"

#include <QAction>
#include <QPushButton>
#include <QWidget>
#include <functional>

#include "gui/Forms.h"
#include "gui/TForm1.h"
#include "gui/TForm3.h"

void addCommandKeys(QWidget* window)
{
    const auto add = [window](const QKeySequence& keys, std::function<void()> command) {
        auto* action = new QAction(window);
        action->setShortcut(keys);
        QObject::connect(action, &QAction::triggered, window, std::move(command));
        window->addAction(action);
    };
    // Through the items and buttons themselves, so each key does exactly what they do.
    add(openImageKeys(), [] { Form1->Openimage1->trigger(); });
    add(openReportKeys(), [] { Form1->Savereport1->trigger(); });
    add(saveReportKeys(), [] { Form3->BnSaverep->click(); });
    add(countKeys(), [] { Form1->BnCount->click(); });
}
