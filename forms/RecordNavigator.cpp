#include "forms/RecordNavigator.h"

#include "data/Query.h"
#include "forms/MessageBoxes.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>

namespace quillon::forms {

RecordNavigator::RecordNavigator(data::Query &query, QWidget *parent)
    : QWidget(parent), query_(query) {
  auto *layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  struct Step {
    const char *name;
    QStyle::StandardPixmap icon;
    void (data::Query::*move)();
  };
  const Step steps[] = {{"nbFirst", QStyle::SP_MediaSkipBackward, &data::Query::first},
                        {"nbPrior", QStyle::SP_MediaSeekBackward, &data::Query::prior},
                        {"nbNext", QStyle::SP_MediaSeekForward, &data::Query::next},
                        {"nbLast", QStyle::SP_MediaSkipForward, &data::Query::last}};
  for (const Step &step : steps) {
    auto *button = new QPushButton(this);
    button->setFocusPolicy(Qt::TabFocus);
    button->setObjectName(QLatin1String(step.name));
    button->setIcon(style()->standardIcon(step.icon));
    button->setFixedSize(26, 25);
    button->setAutoDefault(false);
    layout->addWidget(button);
    buttons_ << button;
    const auto goTo = step.move;
    connect(button, &QPushButton::clicked, this, [this, goTo] { moveRow(goTo); });
  }
  connect(&query_, &data::Query::currentRowChanged, this, &RecordNavigator::updateButtons);
  connect(&query_, &data::Query::layoutChanged, this, &RecordNavigator::updateButtons);
  updateButtons();
}

void RecordNavigator::moveRow(void (data::Query::*goTo)()) {
  data::Query &query = query_;
  guarded([&query, goTo] {
    if (query.active())
      (query.*goTo)();
  });
}

void RecordNavigator::updateButtons() {
  const int row = query_.recNo();
  const int last = query_.active() ? query_.recordCount() - 1 : -1;
  for (int i = 0; i < buttons_.size(); ++i)
    buttons_[i]->setEnabled(i < 2 ? row > 0 : row >= 0 && row < last);
}

} // namespace quillon::forms
