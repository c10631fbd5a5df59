#pragma once

#include <QDialog>
#include <QPointer>
#include <QStringList>

class AlertView;
class QPushButton;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    // The alert closed through the button at `buttonIndex` (0: the cancel button).
    virtual void alertViewClickedButtonAtIndex(AlertView *alertView, int buttonIndex) = 0;
};

// A non-modal alert: a title, a message and a row of buttons counted from the cancel button
// (index 0) through the others. Closing the window counts as the cancel button. The alert deletes
// itself once closed; the delegate (not owned) hears of the button first, unless it is a QObject
// that is gone by then. Main thread only.
class AlertView : public QDialog {
    Q_OBJECT
public:
    AlertView(const QString &title, const QString &message, AlertViewDelegate *delegate,
              const QString &cancelButtonTitle, const QStringList &otherButtonTitles = {},
              QWidget *parent = nullptr);

    // Creates and shows an alert with one button.
    static AlertView *showMessage(const QString &title, const QString &message,
                                  const QString &button, AlertViewDelegate *delegate = nullptr,
                                  QWidget *parent = nullptr);

    int tag() const { return mTag; }
    void setTag(int tag) { mTag = tag; }
    QString title() const { return windowTitle(); }
    QString message() const { return mMessage; }
    int numberOfButtons() const { return int(mButtons.size()); }
    QString buttonTitleAtIndex(int index) const;

    // Closes the alert as if the button had been pressed.
    void dismissWithClickedButtonIndex(int buttonIndex);

protected:
    void reject() override;  // Escape or the window's close button: the cancel button

private:
    AlertViewDelegate *mDelegate;
    QPointer<QObject> mDelegateObject;  // the delegate when it is a QObject: it may go first
    bool mDelegateIsObject = false;
    QString mMessage;
    QList<QPushButton *> mButtons;
    int mTag = 0;
    bool mDismissed = false;
};
