#pragma once

// What a panel asks of the application when it closes.
class PanelHost {
public:
    virtual ~PanelHost() = default;
    // Resumes recording if it ran when the panel opened.
    virtual void restoreRunningState() = 0;
    // Re-applies the settings to the waveform view and the accelerometer.
    virtual void reloadUserConfiguration() = 0;
    virtual void initAccelerometer() = 0;
    // Re-reads the stream settings (NETWORK, BROADCAST, IP, PORT) into the live stream.
    virtual void bindSocketMode() = 0;
};
