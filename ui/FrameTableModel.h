// The monitor's frame list as a table model: it reads the recorder's ring in
// place (no copy of the frames), one row per frame, and takes in the frames
// the recorder has completed when told to, dropping the rows whose frames
// the ring has let go.
#pragma once

#include <QAbstractTableModel>
#include <QFont>
#include <cstdint>

#include "FrameText.h"

class FrameSource;

class TFrameTableModel : public QAbstractTableModel {
  Q_OBJECT
public:
  TFrameTableModel(const FrameSource& recorder, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Drops the rows of frames the ring no longer keeps (returns how many) and,
  // with `takeNew`, appends the frames completed since the last call.
  int Sync(bool takeNew);
  // Frames completed that are not shown yet (while the view is paused).
  uint64_t Waiting() const;
  // Starts afresh after the recorder's frames were cleared.
  void Restart();

  // The frame of a row; nullptr when the ring has let it go.
  const MonitorFrame* FrameAt(int row) const;
  FrameLine LineAt(int row) const;
  // The same with the date before the time, for a file.
  FrameLine DatedLineAt(int row) const;

private:
  const FrameLine* CachedLine(int row) const;

  const FrameSource& recorder_;
  ClockAnchor anchor_;
  QFont fixedFont_;  // for the bytes
  uint64_t first_, end_;  // the rows are the frames first_ .. end_ - 1
  // A row's line is asked for once per column and role while it is drawn.
  mutable uint64_t cachedSeq_ = 0;
  mutable FrameLine cachedLine_;
};
