// Tab pages whose controls are placed in the tab control's own coordinates, as a window's
// design gives them, whatever room the style's tab bar and frame take.
#pragma once

#include <QObject>
#include <QString>
#include <vector>

class QTabWidget;
class QWidget;

namespace platform {

/// Each page of the tab control holds one area that covers the whole tab control, moved up
/// and left by the page's own offset: controls put on the area are placed in the tab
/// control's coordinates, and the page clips what would fall on the tab captions. The offset
/// is the style's, so it is measured again whenever the tab control or a page is shown, moved
/// or resized. Lives as a child of the tab control.
class TabPages final : public QObject {
public:
    explicit TabPages(QTabWidget& tabs);

    /// Adds a page with caption; returns its area. The page is named "<tabs>Page<index>",
    /// the area "<tabs>Area<index>".
    QWidget* addPage(const QString& caption);

    int count() const { return static_cast<int>(m_pages.size()); }
    QWidget* page(int index) const;
    QWidget* area(int index) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void place();

    QTabWidget& m_tabs;
    std::vector<QWidget*> m_pages;
    std::vector<QWidget*> m_areas;
};

} // namespace platform
