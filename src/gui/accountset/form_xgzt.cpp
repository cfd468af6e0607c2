#include "form_xgzt.h"

#include "ui_form_xgzt.h"

#include "notifier.h"
#include "windowlook.h"

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("修改账套");

} // namespace

TForm_XGZT::TForm_XGZT(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::form_xgzt>())
{
    m_ui->setupUi(this);
    applyDialogLook(
        this, QSize(380, 228), { m_ui->Edit3, m_ui->Edit4, m_ui->Edit5 }, m_ui->BitBtn1, m_ui->BitBtn2);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, &TForm_XGZT::BitBtn2Click);
}

TForm_XGZT::~TForm_XGZT() = default;

void TForm_XGZT::openFor(const accountset::DirectoryRow &row)
{
    m_row = row;
    setWindowTitle(Caption);
    m_ui->Edit1->setText(row.number);
    m_ui->Edit2->setText(row.name);
    for (QLineEdit *field : { m_ui->Edit3, m_ui->Edit4, m_ui->Edit5 })
        field->clear();
    m_ui->Edit2->setFocus();
    m_ui->Edit2->selectAll();
    open();
}

void TForm_XGZT::askPresentPasswordAgain()
{
    m_ui->Edit3->clear();
    open();
    m_ui->Edit3->setFocus();
}

accountset::SetChange TForm_XGZT::change() const
{
    accountset::SetChange change;
    if (accountset::trimmed(m_ui->Edit2->text()) != m_row.name)
        change.name = m_ui->Edit2->text();
    if (!m_ui->Edit4->text().isEmpty() || !m_ui->Edit5->text().isEmpty()) {
        change.password = m_ui->Edit4->text();
        change.passwordAgain = m_ui->Edit5->text();
    }
    return change;
}

QString TForm_XGZT::presentPassword() const
{
    return m_ui->Edit3->text();
}

void TForm_XGZT::BitBtn1Click()
{
    if (const auto problem = accountset::checkSetChange(change())) {
        notifier().information(problem->message, Caption);
        if (problem->focus == accountset::InputProblem::Focus::Password)
            m_ui->Edit4->setFocus();
        else
            m_ui->Edit2->setFocus();
        return;
    }
    accept();
}

void TForm_XGZT::BitBtn2Click()
{
    reject();
}

} // namespace zt::gui
