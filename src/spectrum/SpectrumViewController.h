#pragma once

#include "ui/PanelController.h"

class SpectrumView;

// The spectrum panel's controller: it owns the view, which does the work.
class SpectrumViewController : public PanelController {
    Q_OBJECT
public:
    explicit SpectrumViewController(QObject *parent = nullptr);
    ~SpectrumViewController() override;

    QWidget *view() override;
    SpectrumView *spectrumView() const { return mView; }
    void setGraphView(GraphView *graphView) override;
    void setAllowRefresh(bool allow) override;

private:
    SpectrumView *mView;
};
