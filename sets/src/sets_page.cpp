// Placing the sets page's controls.
#include "sets/sets_page.h"

#include "sets/set_list.h"

#include "platform/design.h"

#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>

namespace sets {
namespace {

using platform::kButtonPoints;
using platform::kTextPoints;
using platform::twipsRect;

} // namespace

SetsPageControls createSetsPage(QWidget& page) {
    auto* list = new SetList(&page);
    list->setObjectName(QStringLiteral("SetList"));

    const auto label = [&](const char* name, const QString& caption, QRect design) {
        auto* widget = new QLabel(caption, &page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(platform::arialFont(kTextPoints));
        platform::paintBackground(*widget, platform::kDesignFace);
        widget->setGeometry(design);
        return widget;
    };
    const auto combo = [&](const char* name, int column, QRect design) {
        auto* widget = new QComboBox(&page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(platform::arialFont(kTextPoints));
        widget->setEditable(false);
        widget->setModel(list);
        widget->setModelColumn(column);
        // A drop-down list opens below the box, as on Windows, rather than as a popup over
        // it sized to the widest item: that popup measures every one of up to 32,767 items
        // each time it opens. Every item is one line in one font, so rows need no measuring.
        widget->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
        if (auto* view = qobject_cast<QListView*>(widget->view())) {
            view->setUniformItemSizes(true);
        }
        widget->setCurrentIndex(-1);
        widget->setGeometry(design);
        return widget;
    };
    const auto button = [&](const char* name, const QString& caption, QRect design) {
        auto* widget = new QPushButton(caption, &page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(platform::arialFont(kButtonPoints));
        widget->setAutoDefault(false);
        widget->setGeometry(design);
        return widget;
    };

    SetsPageControls controls{};
    controls.findListLabel =
        label("Label3", QStringLiteral(" Find what (exact case):"), twipsRect(240, 495, 5415, 255));
    controls.findList = combo("Combo1", SetList::kFindColumn, twipsRect(240, 810, 5850, 345));
    controls.replaceListLabel =
        label("Label4", QStringLiteral(" Replace with:"), twipsRect(240, 1350, 6015, 255));
    controls.replaceList =
        combo("Combo2", SetList::kReplaceColumn, twipsRect(240, 1635, 5850, 345));
    controls.addSetButton =
        button("PushButton8", QStringLiteral("Add Set"), twipsRect(240, 2100, 5850, 405));
    controls.loadSetsButton =
        button("PushButton10", QStringLiteral("Load Sets"), twipsRect(240, 2610, 2820, 405));
    controls.saveSetsButton =
        button("PushButton1", QStringLiteral("Save Sets"), twipsRect(3240, 2610, 2820, 405));
    controls.clearSetsButton =
        button("PushButton5", QStringLiteral("Clear Sets"), twipsRect(240, 3120, 2820, 405));
    controls.removeSetButton = button("PushButton2", QStringLiteral("Remove Selected Set"),
                                      twipsRect(3240, 3120, 2820, 405));

    // Tab indexes 3, 4, 5, 6, 7, 8 and 18; the labels take no focus.
    QWidget* const order[] = {controls.findList,        controls.replaceList,
                              controls.addSetButton,    controls.loadSetsButton,
                              controls.removeSetButton, controls.clearSetsButton,
                              controls.saveSetsButton};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
    return controls;
}

SetList& setListOf(const SetsPageControls& controls) {
    auto* list = qobject_cast<SetList*>(controls.findList->model());
    Q_ASSERT(list != nullptr && controls.replaceList->model() == list);
    return *list;
}

} // namespace sets
