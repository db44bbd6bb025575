#include "desktop/camera_rows.h"

#include <algorithm>
#include <utility>

namespace desktop {

namespace {

constexpr QChar Separator(u'\x1f');
// More rows than this that the logic's list no longer has are not removed
// one by one: the table starts afresh.
constexpr size_t MostRemovedOneByOne = 256;

QString ToQt(const std::u16string& text) { return QString::fromStdU16String(text); }

// Dotted addresses sort by their numbers (10.0.0.9 before 10.0.0.10);
// anything else sorts after them by its text.
QString SortKeyOf(int column, const QString& text) {
  if (column == ListAddressColumn) {
    const QStringList parts = text.split(u'.');
    quint64 key = 0;
    bool all = parts.size() == 4;
    for (const QString& part : parts) {
      bool ok = false;
      const uint number = part.toUInt(&ok);
      all = all && ok && number <= 255;
      key = key << 8 | (number & 0xFFu);
    }
    if (all) return QStringLiteral("0%1").arg(key, 10, 10, QChar(u'0'));
  }
  return QStringLiteral("1") + text.toCaseFolded();
}

QString KeyOf(const QStringList& texts) { return texts[ListMacColumn] + Separator + texts[ListAddressColumn]; }

}  // namespace

QString CameraKey(const forms::ListView::Row& row) { return ToQt(row.cells[0]) + Separator + ToQt(row.cells[1]); }

CameraRows::CameraRows(RowNoteFunction note, QObject* parent) : QAbstractTableModel(parent), note_(std::move(note)) {}

void CameraRows::SetHeaders(const QStringList& headers) {
  if (headers == headers_) return;
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, ListColumnCount - 1);
}

CameraRows::Shown CameraRows::Make(const forms::ListView::Row& row, int logicRow) const {
  const RowNote note = note_ ? note_(row) : RowNote{};
  Shown shown;
  shown.source = row;
  shown.texts.reserve(ListColumnCount);
  shown.texts << ToQt(row.text);
  for (const std::u16string& cell : row.cells) shown.texts << ToQt(cell);
  if (!note.mark.isEmpty()) shown.texts[ListModeColumn] += QStringLiteral(" — ") + note.mark;
  shown.tip = note.tip;
  shown.key = KeyOf(shown.texts);
  shown.logicRow = logicRow;
  return shown;
}

void CameraRows::Reindex() {
  byKey_.clear();
  byKey_.reserve(static_cast<qsizetype>(rows_.size()));
  for (size_t row = 0; row < rows_.size(); ++row) byKey_.insert(rows_[row].key, static_cast<int>(row));
}

void CameraRows::Reset(std::vector<Shown> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  Reindex();
  endResetModel();
}

void CameraRows::Append(std::vector<Shown> rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  for (Shown& row : rows) {
    byKey_.insert(row.key, static_cast<int>(rows_.size()));
    rows_.push_back(std::move(row));
  }
  endInsertRows();
}

void CameraRows::StartHeard() {
  heard_ = true;
  if (!rows_.empty()) Reset({});
}

void CameraRows::AddHeard(const std::vector<forms::ListView::Row>& heard) {
  heard_ = true;
  std::vector<Shown> added;
  QHash<QString, size_t> addedByKey;
  for (const forms::ListView::Row& row : heard) {
    Shown shown = Make(row, forms::NoSelectedRow);
    const QString key = shown.key;
    if (const auto listed = byKey_.constFind(key); listed != byKey_.constEnd()) {
      rows_[static_cast<size_t>(*listed)] = std::move(shown);
      emit dataChanged(index(*listed, 0), index(*listed, ListColumnCount - 1));
    } else if (const auto pending = addedByKey.constFind(key); pending != addedByKey.constEnd()) {
      added[*pending] = std::move(shown);
    } else {
      addedByKey.insert(key, added.size());
      added.push_back(std::move(shown));
    }
  }
  Append(std::move(added));
}

// A row made from the same source shows the same texts (the note follows
// from the row), so the list is matched to the rows shown by their sources,
// and only the rows the list adds are made.
void CameraRows::Follow(const std::vector<forms::ListView::Row>& list) {
  heard_ = false;
  const auto sameSource = [](const forms::ListView::Row& row, const Shown& shown) { return shown.source == row; };
  if (std::equal(list.begin(), list.end(), rows_.begin(), rows_.end(), sameSource)) {
    for (size_t row = 0; row < rows_.size(); ++row) rows_[row].logicRow = static_cast<int>(row);
    return;
  }

  // Which shown row each of the list's rows is: the row of its key, when
  // that row has the same source and no other row of the list took it.
  std::vector<int> from(list.size(), -1);
  std::vector<bool> kept(rows_.size(), false);
  size_t keptCount = 0;
  for (size_t row = 0; row < list.size(); ++row) {
    const int at = byKey_.value(CameraKey(list[row]), -1);
    if (at < 0 || kept[static_cast<size_t>(at)] || !sameSource(list[row], rows_[static_cast<size_t>(at)])) continue;
    from[row] = at;
    kept[static_cast<size_t>(at)] = true;
    ++keptCount;
  }
  if (keptCount == 0 || rows_.size() - keptCount > MostRemovedOneByOne) {
    std::vector<Shown> wanted;
    wanted.reserve(list.size());
    for (size_t row = 0; row < list.size(); ++row) wanted.push_back(Make(list[row], static_cast<int>(row)));
    Reset(std::move(wanted));
    return;
  }

  // The rows the list no longer has go, in runs from the bottom.
  for (int last = static_cast<int>(rows_.size()) - 1; last >= 0;) {
    if (kept[static_cast<size_t>(last)]) {
      --last;
      continue;
    }
    int first = last;
    while (first > 0 && !kept[static_cast<size_t>(first - 1)]) --first;
    beginRemoveRows({}, first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
    last = first - 1;
  }
  std::vector<int> position(kept.size(), -1);
  for (size_t row = 0, next = 0; row < kept.size(); ++row) {
    if (kept[row]) position[row] = static_cast<int>(next++);
  }
  // The new ones come after them.
  std::vector<Shown> added;
  for (size_t row = 0; row < list.size(); ++row) {
    if (from[row] >= 0) {
      from[row] = position[static_cast<size_t>(from[row])];
    } else {
      from[row] = static_cast<int>(rows_.size() + added.size());
      added.push_back(Make(list[row], static_cast<int>(row)));
    }
  }
  Append(std::move(added));

  // Every row moves to its place in the list's order.
  bool inOrder = true;
  for (size_t row = 0; row < from.size(); ++row) inOrder = inOrder && from[row] == static_cast<int>(row);
  if (!inOrder) {
    emit layoutAboutToBeChanged();
    std::vector<int> to(from.size());
    std::vector<Shown> moved(from.size());
    for (size_t row = 0; row < from.size(); ++row) {
      to[static_cast<size_t>(from[row])] = static_cast<int>(row);
      moved[row] = std::move(rows_[static_cast<size_t>(from[row])]);
    }
    rows_ = std::move(moved);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) after << index(to[static_cast<size_t>(old.row())], old.column());
    changePersistentIndexList(before, after);
    emit layoutChanged();
  }
  for (size_t row = 0; row < rows_.size(); ++row) rows_[row].logicRow = static_cast<int>(row);
  Reindex();
}

QString CameraRows::Key(int row) const {
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return {};
  return rows_[static_cast<size_t>(row)].key;
}

int CameraRows::RowOfKey(const QString& key) const { return byKey_.value(key, -1); }

const QString& CameraRows::SortKey(int row, int column) const {
  const Shown& shown = rows_[static_cast<size_t>(row)];
  if (shown.sortKeys.isEmpty()) {
    for (int at = 0; at < shown.texts.size(); ++at) shown.sortKeys << SortKeyOf(at, shown.texts[at]);
  }
  return shown.sortKeys[column];
}

int CameraRows::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int CameraRows::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ListColumnCount; }

QVariant CameraRows::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || static_cast<size_t>(index.row()) >= rows_.size()) return {};
  const Shown& row = rows_[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return row.texts.value(index.column());
    case Qt::ToolTipRole:
      return row.tip.isEmpty() ? QVariant() : QVariant(row.tip);
    case LogicRowRole:
      return row.logicRow;
    default:
      return {};
  }
}

QVariant CameraRows::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return headers_.value(section);
  return QAbstractTableModel::headerData(section, orientation, role);
}

CameraSort::CameraSort(CameraRows& rows, QObject* parent) : QSortFilterProxyModel(parent), rows_(rows) {
  setSourceModel(&rows);
}

bool CameraSort::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  return rows_.SortKey(left.row(), left.column()) < rows_.SortKey(right.row(), right.column());
}

}  // namespace desktop
