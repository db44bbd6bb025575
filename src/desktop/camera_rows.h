#pragma once
// The camera list's rows on screen: a table over the logic's list, or over
// the cameras heard while a search runs, and the sorting view over it. Rows
// are appended and moved, never rebuilt, so that a list of thousands keeps
// the window live: a search adds its cameras in batches, and the list the
// search fills afterwards takes their place by moving the same rows into
// its order (the user's sort, selection and scroll stay).
#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "forms/list_view.h"

namespace desktop {

// What a row says beyond its cells: a mark after its Mode and a tooltip
// over the whole row; both empty for most rows.
struct RowNote {
  QString mark;
  QString tip;
};
using RowNoteFunction = std::function<RowNote(const forms::ListView::Row& row)>;

// The view's columns: the name, then the logic's MAC, address, ...
inline constexpr int ListNameColumn = 0;
inline constexpr int ListMacColumn = 1;
inline constexpr int ListAddressColumn = 2;
inline constexpr int ListModeColumn = 4;
inline constexpr int ListColumnCount = forms::ListView::ColumnCount + 1;

// A camera's identity in the list: its MAC and address cells.
QString CameraKey(const forms::ListView::Row& row);

// The logic's row a row of the table stands for (an int); NoSelectedRow for
// a camera heard during a search, which the logic does not list yet.
inline constexpr int LogicRowRole = Qt::UserRole + 1;

class CameraRows : public QAbstractTableModel {
  Q_OBJECT

 public:
  CameraRows(RowNoteFunction note, QObject* parent);

  void SetHeaders(const QStringList& headers);
  // The logic's list: rows it has already stay where the view has them and
  // move into the list's order; the others are removed or added.
  void Follow(const std::vector<forms::ListView::Row>& list);
  // Cameras heard during a search, after the rows shown: a camera heard
  // again (the same MAC and address) replaces its row.
  void AddHeard(const std::vector<forms::ListView::Row>& heard);
  // A search begins: the rows go, and the heard ones follow until EndHeard.
  void StartHeard();
  void EndHeard() { heard_ = false; }
  bool Heard() const { return heard_; }
  QString Key(int row) const;  // CameraKey of the row; empty for none
  int RowOfKey(const QString& key) const;
  const QString& SortKey(int row, int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  struct Shown {
    forms::ListView::Row source;  // what the row was made from: a row of the same source is the same row
    QStringList texts;
    QString tip;
    QString key;                   // CameraKey of the source
    mutable QStringList sortKeys;  // made when the list is first sorted
    int logicRow = forms::NoSelectedRow;
  };
  Shown Make(const forms::ListView::Row& row, int logicRow) const;
  void Reset(std::vector<Shown> rows);
  void Reindex();
  void Append(std::vector<Shown> rows);

  RowNoteFunction note_;
  QStringList headers_;
  std::vector<Shown> rows_;
  QHash<QString, int> byKey_;  // the last row of each key
  bool heard_ = false;
};

// Sorts by each column's sort key: dotted addresses by their numbers, the
// rest by their case-folded text.
class CameraSort : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  CameraSort(CameraRows& rows, QObject* parent);

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  CameraRows& rows_;
};

}  // namespace desktop
