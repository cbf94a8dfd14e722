#pragma once
// State of one test run shared by the run logic and the question window.
#include <QList>
#include <QtGlobal>

class TMCheckBox;
class TMColorButton;

struct TRunState {
    quint16 CurQuestion = 1;            // 1-based position of the item on show
    bool ReviewMode = false;
    bool CloseWithoutAsking = false;
    quint16 SecondsLeft = 0;
    QList<TMCheckBox *> CheckBoxes;     // boxes of the item on show, variant order
    QList<TMColorButton *> QButtons;    // one per item, run order
    int FirstVisible = 1;
    int VisibleCount = 0;
    int MaxFirstVisible = 0;
    int ItemCount = 0;                  // items in the run when the strip was built
};
