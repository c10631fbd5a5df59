#pragma once

#include <QScrollArea>
#include <QString>

class TableView;
class QVBoxLayout;

struct IndexPath {
    int section = 0;
    int row = 0;
};

// What a table shows: sections with header titles, and rows given as prebuilt cell widgets.
class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    virtual int numberOfSectionsInTableView(TableView *tableView) = 0;
    virtual int numberOfRowsInSection(TableView *tableView, int section) = 0;
    virtual QString titleForHeaderInSection(TableView *tableView, int section) = 0;
    // The cell of a row, or none (an empty row of the given height). The table takes the widget
    // into its content; the data source keeps using it.
    virtual QWidget *cellForRowAtIndexPath(TableView *tableView, IndexPath indexPath) = 0;
    virtual int heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) = 0;
};

class TableViewDelegate {
public:
    virtual ~TableViewDelegate() = default;
    virtual void didSelectRowAtIndexPath(TableView *tableView, IndexPath indexPath) = 0;
};

// A grouped table in the phone's manner: a scrolling column of section headers and cells,
// asking its data source for everything and telling its delegate which row was clicked.
class TableView : public QScrollArea {
    Q_OBJECT
public:
    explicit TableView(QWidget *parent = nullptr);

    void setDataSource(TableViewDataSource *dataSource) { mDataSource = dataSource; }
    void setDelegate(TableViewDelegate *delegate) { mDelegate = delegate; }
    // Builds the rows anew from the data source.
    void reloadData();

    // The height of a row showing `cell`: the height its layout gives it; a row without a cell
    // is 120 points high.
    static int rowHeightOfCell(const QWidget *cell) { return cell ? cell->maximumHeight() : 120; }

    // The header label of a section and the row widget of a row, once loaded; else none.
    QWidget *headerOfSection(int section) const;
    QWidget *rowAt(IndexPath indexPath) const;

    // Scrolls the least distance that shows `rect` (content coordinates, the phone's points),
    // over 0.3 s when `animated`.
    void scrollRectToVisible(const QRect &rect, bool animated);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TableViewDataSource *mDataSource = nullptr;
    TableViewDelegate *mDelegate = nullptr;
    QWidget *mContent = nullptr;
};
