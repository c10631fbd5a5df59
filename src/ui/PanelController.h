#pragma once

#include <QObject>

class GraphView;
class QWidget;

// A panel that slides up over the waveform: a controller with a view, created on first use
// and kept for the rest of the run. Panels that need the waveform view or a refresh switch
// override the hand-over hooks.
class PanelController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual QWidget *view() = 0;
    virtual void setGraphView(GraphView *) {}
    virtual void setAllowRefresh(bool) {}
};
