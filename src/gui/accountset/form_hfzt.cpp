#include "form_hfzt.h"

#include "ui_form_hfzt.h"

#include "embedded/embeddedserver.h"
#include "filedialogs.h"
#include "install/installation.h"
#include "notifier.h"
#include "windowlook.h"

#include <QDir>

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("从备份恢复账套");

} // namespace

TForm_HFZT::TForm_HFZT(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::form_hfzt>())
{
    m_ui->setupUi(this);
    applyDialogLook(this, QSize(380, 236), { m_ui->Edit4, m_ui->Edit5 }, m_ui->BitBtn2, m_ui->BitBtn3);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, &TForm_HFZT::BitBtn3Click);
}

TForm_HFZT::~TForm_HFZT() = default;

void TForm_HFZT::openFor(const QString &server)
{
    m_server = server;
    setWindowTitle(Caption);
    const bool embedded = embedded::isEmbeddedServerName(server);
    m_ui->BitBtn1->setVisible(embedded);
    m_ui->Label6->setText(embedded
            ? QStringLiteral("本机上的备份文件。")
            : QStringLiteral("服务器上的路径；只写文件名时为服务器的默认备份文件夹。"));
    for (QLineEdit *field : { m_ui->Edit1, m_ui->Edit2, m_ui->Edit3, m_ui->Edit4, m_ui->Edit5 })
        field->clear();
    m_ui->Edit1->setFocus();
    open();
}

accountset::RestoreRequest TForm_HFZT::request() const
{
    accountset::RestoreRequest r;
    r.fields = { m_server, m_ui->Edit2->text(), m_ui->Edit3->text(), m_ui->Edit4->text() };
    r.backupFile = m_ui->Edit1->text();
    r.mode = accountset::CreationMode::Network;
    return r;
}

void TForm_HFZT::BitBtn1Click()
{
    const QString folder = install::directory() + QStringLiteral("data/backup");
    const QString file = chooseOpenFile(
        this, QStringLiteral("选择备份文件"), folder, QStringLiteral("备份文件 (*.bak);;所有文件 (*)"));
    if (!file.isEmpty())
        m_ui->Edit1->setText(QDir::toNativeSeparators(file));
}

void TForm_HFZT::BitBtn2Click()
{
    using Focus = accountset::InputProblem::Focus;
    if (const auto problem = accountset::checkRestoreInput(request(), m_ui->Edit5->text())) {
        notifier().information(problem->message, Caption);
        if (problem->focus == Focus::Database)
            m_ui->Edit2->setFocus();
        else if (problem->focus == Focus::Name)
            m_ui->Edit3->setFocus();
        else if (problem->focus == Focus::Password)
            m_ui->Edit4->setFocus();
        else
            m_ui->Edit1->setFocus();
        return;
    }
    accept();
}

void TForm_HFZT::BitBtn3Click()
{
    reject();
}

} // namespace zt::gui
