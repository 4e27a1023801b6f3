// Placing the sets page's controls.
#include "sets/sets_page.h"

#include "appearance.h"
#include "sets/set_list.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <vector>

namespace sets {
namespace {

// Keeps the controls where the design puts them relative to the tab control. A tab page
// starts below the tab bar and inside the frame, by an amount the style decides, so the
// offset is measured again whenever the page is shown, moved or resized.
class TabPagePlacement final : public QObject {
public:
    explicit TabPagePlacement(QWidget& page) : QObject(&page), m_page(page) {
        page.installEventFilter(this);
    }
    void place(QWidget& control, const QRect& design) {
        m_controls.push_back({&control, design});
        control.setGeometry(design.translated(-offset()));
    }

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize) {
            const QPoint shift = offset();
            for (const auto& [control, design] : m_controls) {
                control->setGeometry(design.translated(-shift));
            }
        }
        return false;
    }

private:
    QPoint offset() const {
        for (QWidget* ancestor = m_page.parentWidget(); ancestor != nullptr;
             ancestor = ancestor->parentWidget()) {
            if (qobject_cast<QTabWidget*>(ancestor) != nullptr) {
                return m_page.mapTo(ancestor, QPoint(0, 0));
            }
        }
        return {};
    }

    QWidget& m_page;
    std::vector<std::pair<QWidget*, QRect>> m_controls;
};

// The design colour of the main window's labels.
void paintWhite(QLabel& label) {
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, Qt::white);
    label.setPalette(palette);
    label.setAutoFillBackground(true);
}

} // namespace

SetsPageControls createSetsPage(QWidget& page) {
    auto* placement = new TabPagePlacement(page);
    auto* list = new SetList(&page);
    list->setObjectName(QStringLiteral("SetList"));

    const auto label = [&](const char* name, const QString& caption, QRect design) {
        auto* widget = new QLabel(caption, &page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(designFont(kTextPoints));
        paintWhite(*widget);
        placement->place(*widget, design);
        return widget;
    };
    const auto combo = [&](const char* name, int column, QRect design) {
        auto* widget = new QComboBox(&page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(designFont(kTextPoints));
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
        placement->place(*widget, design);
        return widget;
    };
    const auto button = [&](const char* name, const QString& caption, QRect design) {
        auto* widget = new QPushButton(caption, &page);
        widget->setObjectName(QString::fromLatin1(name));
        widget->setFont(designFont(kButtonPoints));
        widget->setAutoDefault(false);
        placement->place(*widget, design);
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
