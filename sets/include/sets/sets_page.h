// The controls of the main window's sets page ("Multiple find and replace (sets)"): placed
// here, driven by SetsController.
#pragma once

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace sets {

class SetList;

struct SetsPageControls {
    QLabel* Label3;
    QComboBox* Combo1;
    QLabel* Label4;
    QComboBox* Combo2;
    QPushButton* PushButton8;
    QPushButton* PushButton10;
    QPushButton* PushButton1;
    QPushButton* PushButton5;
    QPushButton* PushButton2;
};

/// Creates the page's controls as children of page, with their names, captions, fonts and
/// tab order. Positions are those of the design, measured from the tab control's corner: when
/// page is a page of a QTabWidget, the controls are moved to keep them there whatever room
/// the tab bar takes. Combo1 (find texts) and Combo2 (replace texts) show the two columns of
/// one SetList, a child of page, so the two lists always hold the same number of items.
SetsPageControls createSetsPage(QWidget& page);

/// The set list behind Combo1 and Combo2 of a page made by createSetsPage.
SetList& setListOf(const SetsPageControls& controls);

} // namespace sets
