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
    QLabel* findListLabel;
    QComboBox* findList;
    QLabel* replaceListLabel;
    QComboBox* replaceList;
    QPushButton* addSetButton;
    QPushButton* loadSetsButton;
    QPushButton* saveSetsButton;
    QPushButton* clearSetsButton;
    QPushButton* removeSetButton;
};

/// Creates the page's controls as children of page, with their names, captions, fonts and
/// tab order. Positions are those of the design, measured from the tab control's corner: page
/// is an area of platform::TabPages, which keeps that corner at its own. findList (find texts) and
/// replaceList (replace texts) show the two columns of one SetList, a child of page, so the two
/// lists always hold the same number of items.
SetsPageControls createSetsPage(QWidget& page);

/// The set list behind findList and replaceList of a page made by createSetsPage.
SetList& setListOf(const SetsPageControls& controls);

} // namespace sets
