#pragma once

#include "ui/PanelController.h"

#include <QWidget>

class GraphView;

// A panel with an empty view that records the hand-overs it receives.
class FakePanel : public PanelController {
public:
    static inline int created = 0;

    FakePanel() : mView(new QWidget) {
        mView->resize(320, 416);
        ++created;
    }
    ~FakePanel() override { delete mView; }

    QWidget *view() override { return mView; }
    void setGraphView(GraphView *view) override { graphView = view; }
    void setAllowRefresh(bool allow) override { allowRefresh = allow; }

    GraphView *graphView = nullptr;
    bool allowRefresh = false;

private:
    QWidget *mView;  // its parent is the window once inserted
};
