#pragma once

#include <QtGlobal>

// The shake alarm's state: switched on, it counts down five seconds of samples (arming), then
// trips on the first drawn value beyond the level, after which the sound repeats every two
// seconds for a minute. Durations are counted in recorded samples at the nominal rate f.
// Main thread only.
//
//   Off        on=false countDown=0  beeping=false
//   Arming     on=true  countDown>0  beeping=false   (5 f samples)
//   Armed      on=true  countDown=0  beeping=false
//   Tripped    on=true  countDown=0  beeping=true    (sound while repeatCountDown > 0)
class ShakeAlarm {
public:
    // What one recorded sample asks of the view.
    struct Tick {
        bool arming = false;     // the count-down ran: show `progress`, and the message
        float progress = 0;      // arming progress, 0 to (5 f - 1) / 5 f; always within 0 to 1
        bool armed = false;      // the count-down reached 0: hide message and progress
        bool playSound = false;  // play the alarm sound now
    };

    // Switching: on starts a fresh count-down of 5 f samples and a repetition budget of 60 f;
    // off silences at once. Every count uses wholeFrequency(f).
    void switchOn(float frequency);
    void switchOff();

    // Count-down step for one recorded sample (only while switched on). `frequency` is the
    // nominal rate; below 1 it counts as 1.
    Tick countDown(float frequency);

    // Trip test on one drawn value: true exactly when this value trips the alarm (filter on,
    // armed, not yet beeping, |v| > level). Logs "%f,%f" with the value and the level.
    bool tripTest(float v, bool filteringIsEnabled);

    bool isAlarmOn() const { return mIsAlarmOn; }
    void setMIsAlarmOn(bool on) { mIsAlarmOn = on; }
    bool isAlarmBeeping() const { return mIsAlarmBeeping; }
    void setMIsAlarmBeeping(bool beeping) { mIsAlarmBeeping = beeping; }
    qint32 alarmCountDown() const { return mAlarmCountDown; }
    void setMAlarmCountDown(qint32 samples) { mAlarmCountDown = samples; }
    qint32 alarmSoundRepeatCountDown() const { return mAlarmSoundRepeatCountDown; }
    void setMAlarmSoundRepeatCountDown(qint32 samples) { mAlarmSoundRepeatCountDown = samples; }
    float alarmLevel() const { return mAlarmLevel; }
    void setMAlarmLevel(float level) { mAlarmLevel = level; }

private:
    // The rate f the counts use, as the sampler takes it: truncated, below 1 counted as 1, held
    // to the 32-bit range.
    static qint64 wholeFrequency(float frequency);
    // f × seconds in samples, saturated to the 32-bit range.
    static qint32 samplesIn(float frequency, int seconds);

    bool mIsAlarmOn = false;
    qint32 mAlarmCountDown = 0;             // samples left before armed; 0 when armed or off
    bool mIsAlarmBeeping = false;           // tripped
    qint32 mAlarmSoundRepeatCountDown = 0;  // samples left in which the sound may repeat
    float mAlarmLevel = 0;                  // trip level, in drawn-value units
};
