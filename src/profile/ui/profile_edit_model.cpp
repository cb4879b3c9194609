#include "profile/ui/profile_edit_model.h"

#include <QUndoCommand>

namespace profile::ui {

namespace {

class EditCommand : public QUndoCommand {
public:
    EditCommand(ProfileEditModel* model, profile::Profile before, profile::Profile after,
                const QString& text, int drag)
        : QUndoCommand(text),
          model_(model),
          before_(std::move(before)),
          after_(std::move(after)),
          drag_(drag) {}

    void redo() override { model_->Apply(after_); }
    void undo() override { model_->Apply(before_); }
    int id() const override { return drag_ > 0 ? 1 : -1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* o = static_cast<const EditCommand*>(other);
        if (o->drag_ != drag_)
            return false;
        after_ = o->after_;
        return true;
    }

private:
    ProfileEditModel* model_;
    profile::Profile before_, after_;
    int drag_;
};

}  // namespace

ProfileEditModel::ProfileEditModel(QObject* parent) : QObject(parent) {}

void ProfileEditModel::Reset(const profile::Profile& p) {
    undo_.clear();
    Apply(p);
}

void ProfileEditModel::Apply(const profile::Profile& p) {
    profile_ = p;
    emit changed();
}

bool ProfileEditModel::Push(profile::Profile after, const QString& text, int drag) {
    undo_.push(new EditCommand(this, profile_, std::move(after), text, drag));
    return true;
}

bool ProfileEditModel::InsertPoint(size_t index, profile::ChartPoint p) {
    profile::Profile after = profile_;
    return after.Insert(index, p) && Push(std::move(after), tr("Add point"), 0);
}

bool ProfileEditModel::RemovePoint(size_t index) {
    profile::Profile after = profile_;
    return after.Remove(index) && Push(std::move(after), tr("Delete point"), 0);
}

bool ProfileEditModel::MovePoint(size_t index, profile::ChartPoint p, int drag) {
    profile::Profile after = profile_;
    if (!after.Move(index, p))
        return false;
    if (after == profile_)
        return true;  // nothing to undo
    return Push(std::move(after), drag > 0 ? tr("Drag point") : tr("Change point"), drag);
}

}  // namespace profile::ui
