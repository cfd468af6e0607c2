#include "form_fzzt.h"

#include "ui_form_fzzt.h"

#include "accountset/deletion.h"
#include "embedded/embeddedserver.h"
#include "notifier.h"
#include "windowlook.h"

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("复制账套");

} // namespace

TForm_FZZT::TForm_FZZT(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::form_fzzt>())
{
    m_ui->setupUi(this);
    applyDialogLook(
        this, QSize(380, 276), { m_ui->Edit1, m_ui->Edit4, m_ui->Edit5 }, m_ui->BitBtn2, m_ui->BitBtn3);
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, &TForm_FZZT::BitBtn3Click);
}

TForm_FZZT::~TForm_FZZT() = default;

void TForm_FZZT::openFor(const QString &server, const accountset::DirectoryRow &source)
{
    m_server = server;
    m_source = source;
    setWindowTitle(Caption);
    m_ui->Label7->setText(QStringLiteral("【") + source.name + u'(' + source.number + QStringLiteral(")】"));
    m_ui->Label8->setText(embedded::isEmbeddedServerName(server)
            ? QStringLiteral("先备份原账套（备份文件保留在本机的 data/backup 文件夹），再恢复为新账套。")
            : QStringLiteral("先备份原账套（备份文件保留在服务器的默认备份文件夹），再恢复为新账套。"));
    for (QLineEdit *field : { m_ui->Edit1, m_ui->Edit2, m_ui->Edit4, m_ui->Edit5 })
        field->clear();
    m_ui->Edit3->setText(source.name);
    m_ui->Edit1->setFocus();
    open();
}

accountset::CopyRequest TForm_FZZT::request() const
{
    accountset::CopyRequest r;
    r.source = m_source;
    r.sourcePassword = m_ui->Edit1->text();
    r.target = { m_server, m_ui->Edit2->text(), m_ui->Edit3->text(), m_ui->Edit4->text() };
    return r;
}

void TForm_FZZT::BitBtn2Click()
{
    using Focus = accountset::InputProblem::Focus;
    const accountset::CopyRequest r = request();
    if (!accountset::deletionPasswordMatches(m_source, r.sourcePassword)) {
        notifier().information(QStringLiteral("原账套的口令错误！"), Caption);
        m_ui->Edit1->setFocus();
        m_ui->Edit1->selectAll();
        return;
    }
    if (const auto problem = accountset::checkCopyInput(r, m_ui->Edit5->text())) {
        notifier().information(problem->message, Caption);
        if (problem->focus == Focus::Database)
            m_ui->Edit2->setFocus();
        else if (problem->focus == Focus::Name)
            m_ui->Edit3->setFocus();
        else if (problem->focus == Focus::Password)
            m_ui->Edit4->setFocus();
        return;
    }
    accept();
}

void TForm_FZZT::BitBtn3Click()
{
    reject();
}

} // namespace zt::gui
