#include "qt/QtSetNameDialog.h"

#include <QLineEdit>
#include <QVBoxLayout>
#include <QValidator>

#include "dialogs/TfrmSetName.h"

namespace quorle {

namespace {

// The instrument shows printable ASCII only. A character the name already held is let through,
// so a name received with an odd byte can still be edited around it.
class NameValidator : public QValidator {
 public:
  NameValidator(const QString& original, QObject* parent)
      : QValidator(parent), original_(original) {}

  State validate(QString& input, int&) const override {
    for (const QChar c : input) {
      const bool printable = c.unicode() >= 0x20 && c.unicode() <= 0x7E;
      if (!printable && !original_.contains(c)) return Invalid;
    }
    return Acceptable;
  }

 private:
  QString original_;
};

}  // namespace

QtSetNameDialog::QtSetNameDialog(TfrmSetName& logic, QWidget* parent)
    : QtFormDialog(logic, "frmSetName", parent), logic_(logic) {
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  // Names are bytes; Latin-1 maps each one to one character and back unchanged.
  const QString name =
      QString::fromLatin1(logic.eName.data(), static_cast<qsizetype>(logic.eName.size()));
  eName = new QLineEdit(name, this);
  eName->setObjectName("eName");
  eName->setMaxLength(static_cast<int>(TfrmSetName::kMaxLength));
  eName->setValidator(new NameValidator(name, eName));
  eName->setMinimumWidth(eName->fontMetrics().horizontalAdvance(QString(20, 'W')));
  eName->selectAll();
  layout->addWidget(eName);
  connect(eName, &QLineEdit::textChanged, this,
          [this](const QString& text) { logic_.SetName(text.toLatin1().toStdString()); });
  AddButtons(layout, "btnOK", "btnCancel");
}

}  // namespace quorle
