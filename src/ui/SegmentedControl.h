#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

// A row of exclusive segments; exactly one is selected. `valueChanged` fires when the user
// picks another segment.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(QWidget *parent = nullptr);

    void setSegments(const QStringList &titles);
    int numberOfSegments() const;
    int selectedSegmentIndex() const;
    void setSelectedSegmentIndex(int index);

signals:
    void valueChanged(int index);

private:
    QButtonGroup *mGroup;
};
