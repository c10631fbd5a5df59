#include "spectrum/SpectrumViewController.h"

#include "spectrum/SpectrumView.h"

SpectrumViewController::SpectrumViewController(QObject *parent)
    : PanelController(parent), mView(new SpectrumView) {}

SpectrumViewController::~SpectrumViewController() { delete mView; }

QWidget *SpectrumViewController::view() { return mView; }

void SpectrumViewController::setGraphView(GraphView *graphView) { mView->setGraphView(graphView); }

void SpectrumViewController::setAllowRefresh(bool allow) { mView->setAllowRefresh(allow); }
