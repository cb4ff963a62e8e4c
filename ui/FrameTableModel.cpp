#include "FrameTableModel.h"

#include <QBrush>
#include <QFontDatabase>
#include <algorithm>

#include "FrameSource.h"
#include "WindowLook.h"

namespace {
const QColor kFlagBack(255, 214, 153);  // orange: the timing is worth a look
const QColor kGrey(128, 128, 128);

bool RightAligned(int column) {
  return column == ColDelta || column == ColLatency || column == ColGap || column == ColAttempt ||
         column == ColStage;
}
}  // namespace

TFrameTableModel::TFrameTableModel(const FrameSource& recorder, QObject* parent)
    : QAbstractTableModel(parent),
      recorder_(recorder),
      anchor_(ClockAnchor::Now()),
      fixedFont_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
  first_ = end_ = recorder_.Frames().Size() ? recorder_.Frames().Frames().front().Seq
                                            : recorder_.Frames().NextSeq();
}

int TFrameTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(end_ - first_);
}

int TFrameTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kFrameColumns;
}

const MonitorFrame* TFrameTableModel::FrameAt(int row) const {
  if (row < 0 || static_cast<uint64_t>(row) >= end_ - first_) return nullptr;
  return recorder_.Frames().Find(first_ + static_cast<uint64_t>(row));
}

const FrameLine* TFrameTableModel::CachedLine(int row) const {
  const MonitorFrame* frame = FrameAt(row);
  if (!frame) return nullptr;
  if (cachedSeq_ != frame->Seq) {
    cachedLine_ = DescribeFrame(*frame, recorder_.Frames().Find(frame->Seq - 1), anchor_);
    cachedSeq_ = frame->Seq;
  }
  return &cachedLine_;
}

FrameLine TFrameTableModel::LineAt(int row) const {
  const FrameLine* line = CachedLine(row);
  return line ? *line : FrameLine{};
}

FrameLine TFrameTableModel::DatedLineAt(int row) const {
  FrameLine line = LineAt(row);
  if (const MonitorFrame* frame = FrameAt(row)) line[ColTime] = anchor_.DateAndTime(frame->Us);
  return line;
}

QVariant TFrameTableModel::data(const QModelIndex& index, int role) const {
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole: {
      const FrameLine* line = CachedLine(index.row());
      return line ? QString::fromStdString((*line)[static_cast<size_t>(column)]) : QVariant();
    }
    case Qt::ToolTipRole: {
      const FrameLine* line = CachedLine(index.row());
      if (!line) return {};
      QStringList tip;
      // The bytes whole, sixteen to a line: the column shows the first few.
      if (column == ColBytes) {
        const QString bytes = QString::fromStdString((*line)[ColBytes]);
        for (qsizetype at = 0; at < bytes.size(); at += 48) tip << bytes.mid(at, 47);
      }
      for (int c : {ColResult, ColNotes})
        if (!(*line)[c].empty()) tip << QString::fromStdString((*line)[c]);
      return tip.isEmpty() ? QVariant() : QVariant(tip.join('\n'));
    }
    case Qt::ForegroundRole: {
      const MonitorFrame* frame = FrameAt(index.row());
      if (!frame) return {};
      if (FrameFailed(*frame)) return QBrush(kRed);
      if (frame->Direction == FrameDirection::Discarded || frame->Direction == FrameDirection::Unframed)
        return QBrush(kGrey);
      return {};
    }
    case Qt::BackgroundRole: {
      const MonitorFrame* frame = FrameAt(index.row());
      return frame && FrameFlagged(*frame) ? QVariant(QBrush(kFlagBack)) : QVariant();
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignVCenter |
                                 (RightAligned(column) ? Qt::AlignRight : Qt::AlignLeft));
    case Qt::FontRole:
      if (column == ColBytes) return fixedFont_;
      return {};
    default:
      return {};
  }
}

QVariant TFrameTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kFrameColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromStdString(FrameColumnTitles()[static_cast<size_t>(section)]);
  if (role == Qt::ToolTipRole && section == ColGap)
    return QString::fromUtf8("наибольшая пауза между частями ответа");
  return {};
}

int TFrameTableModel::Sync(bool takeNew) {
  const FrameRing& ring = recorder_.Frames();
  const uint64_t front = ring.Size() ? ring.Frames().front().Seq : ring.NextSeq();
  int dropped = 0;
  if (front > first_) {
    const uint64_t gone = std::min(front, end_) - first_;
    if (gone > 0) {
      beginRemoveRows({}, 0, static_cast<int>(gone - 1));
      first_ += gone;
      endRemoveRows();
      dropped = static_cast<int>(gone);
    }
    // Frames that went before they were ever shown.
    first_ = std::max(first_, front);
    end_ = std::max(end_, first_);
  }
  const uint64_t complete = recorder_.CompleteBefore();
  if (takeNew && complete > end_) {
    const int rows = rowCount();
    beginInsertRows({}, rows, rows + static_cast<int>(complete - end_) - 1);
    end_ = complete;
    endInsertRows();
  }
  return dropped;
}

uint64_t TFrameTableModel::Waiting() const {
  const uint64_t complete = recorder_.CompleteBefore();
  return complete > end_ ? complete - end_ : 0;
}

void TFrameTableModel::Restart() {
  beginResetModel();
  first_ = end_ = recorder_.Frames().NextSeq();
  cachedSeq_ = 0;
  endResetModel();
}
