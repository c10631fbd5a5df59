#pragma once

#include "ui/PanelHost.h"

#include <QStringList>

// A panel host that records what the panel asks of it, in order.
struct RecordingHost : PanelHost {
    void restoreRunningState() override { calls << "restoreRunningState"; }
    void reloadUserConfiguration() override { calls << "reloadUserConfiguration"; }
    void initAccelerometer() override { calls << "initAccelerometer"; }
    void bindSocketMode() override { calls << "bindSocketMode"; }
    QStringList calls;
};
