// Keeping each page's area over the whole tab control.
#include "platform/tab_pages.h"

#include <QEvent>
#include <QStackedWidget>
#include <QTabWidget>

namespace platform {

TabPages::TabPages(QTabWidget& tabs) : QObject(&tabs), m_tabs(tabs) {
    tabs.installEventFilter(this);
    if (auto* stack = tabs.findChild<QStackedWidget*>()) {
        stack->installEventFilter(this);
    }
}

QWidget* TabPages::addPage(const QString& caption) {
    const int index = count();
    auto* page = new QWidget;
    page->setObjectName(m_tabs.objectName() + QStringLiteral("Page%1").arg(index));
    auto* area = new QWidget(page);
    area->setObjectName(m_tabs.objectName() + QStringLiteral("Area%1").arg(index));
    m_tabs.addTab(page, caption);
    m_pages.push_back(page);
    m_areas.push_back(area);
    page->installEventFilter(this);
    place();
    return area;
}

QWidget* TabPages::page(int index) const {
    return m_pages.at(static_cast<std::size_t>(index));
}

QWidget* TabPages::area(int index) const {
    return m_areas.at(static_cast<std::size_t>(index));
}

void TabPages::place() {
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        const QPoint offset = m_pages[i]->mapTo(&m_tabs, QPoint(0, 0));
        m_areas[i]->setGeometry(QRect(-offset, m_tabs.size()));
    }
}

bool TabPages::eventFilter(QObject* /*watched*/, QEvent* event) {
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::LayoutRequest:
        place();
        break;
    default:
        break;
    }
    return false;
}

} // namespace platform
