#pragma once
// A profile being edited: every change goes through the undo stack as a
// command that holds the profile before and after (at most 31 points, so a
// copy is cheaper than being clever). The moves of one drag merge into one
// command, so that an undo takes the whole drag back.

#include <QObject>
#include <QUndoStack>

#include "profile/profile_model.h"

namespace profile::ui {

class ProfileEditModel : public QObject {
    Q_OBJECT
public:
    explicit ProfileEditModel(QObject* parent = nullptr);

    const profile::Profile& Profile() const { return profile_; }
    QUndoStack* UndoStack() { return &undo_; }
    const QUndoStack* UndoStack() const { return &undo_; }

    // A new profile or one just loaded: no undo back into the old one.
    void Reset(const profile::Profile& p);

    // Each an undoable command; false (nothing done) for an index outside.
    bool InsertPoint(size_t index, profile::ChartPoint p);
    bool RemovePoint(size_t index);
    // `drag` > 0 names one drag: the moves of the same drag merge.
    bool MovePoint(size_t index, profile::ChartPoint p, int drag = 0);
    // A number for the next drag.
    int BeginDrag() { return ++drags_; }

    // Applies a state without recording it: the commands' own way in.
    void Apply(const profile::Profile& p);

signals:
    void changed();

private:
    bool Push(profile::Profile after, const QString& text, int drag);

    profile::Profile profile_;
    QUndoStack undo_;
    int drags_ = 0;
};

}  // namespace profile::ui
