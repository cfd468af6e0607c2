#include "form_zdbf.h"

#include "ui_form_zdbf.h"

#include "notifier.h"
#include "windowlook.h"

#include <QHeaderView>

namespace zt::gui {

namespace {

const QString Caption = QStringLiteral("自动备份");

enum Column { Number, Name, LastBackup, File, Outcome, Columns };

} // namespace

TForm_ZDBF::TForm_ZDBF(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::form_zdbf>())
{
    m_ui->setupUi(this);
    applyWindowLook(this, QSize(560, 420));
    m_ui->TableWidget1->setColumnCount(Columns);
    m_ui->TableWidget1->setHorizontalHeaderLabels({ QStringLiteral("数据库名称"), QStringLiteral("账套名称"),
        QStringLiteral("最近备份"), QStringLiteral("备份文件"), QStringLiteral("结果") });
    m_ui->TableWidget1->verticalHeader()->hide();
    m_ui->TableWidget1->horizontalHeader()->setStretchLastSection(true);
    m_ui->BitBtn2->setIcon(buttonGlyph(QStringLiteral("standardbutton-apply"), QStyle::SP_DialogApplyButton));
    m_ui->BitBtn3->setIcon(
        buttonGlyph(QStringLiteral("standardbutton-cancel"), QStyle::SP_DialogCancelButton));
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn1Click(); }); });
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn2Click(); }); });
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, &TForm_ZDBF::BitBtn3Click);
    connect(m_ui->BitBtn4, &QPushButton::clicked, this, [this] { guarded([this] { BitBtn4Click(); }); });
    connect(m_ui->RadioButton1, &QRadioButton::toggled, this, &TForm_ZDBF::RadioButtonClick);
}

TForm_ZDBF::~TForm_ZDBF() = default;

void TForm_ZDBF::openFor(
    const QString &server, const QList<ListedSet> &sets, const std::optional<backupplan::Plan> &plan)
{
    m_server = server;
    setWindowTitle(Caption);
    const backupplan::Plan shown = plan.value_or(backupplan::Plan {});
    m_since = plan ? shown.since : QDateTime();
    m_ui->Label1->setText(QStringLiteral("服务器：") + server);
    m_ui->CheckBox1->setChecked(plan ? shown.enabled : true);
    m_ui->TimeEdit1->setTime(shown.time);
    m_ui->SpinBox1->setValue(shown.keep);
    m_ui->BitBtn4->setEnabled(plan.has_value());

    // The directory's sets, then any the plan names that the directory no longer lists.
    QList<ListedSet> rows = sets;
    for (const QString &number : shown.sets) {
        const bool listed = std::any_of(rows.cbegin(), rows.cend(),
            [&](const ListedSet &s) { return s.number.compare(number, Qt::CaseInsensitive) == 0; });
        if (!listed)
            rows.append({ number, QStringLiteral("（不在网络账套目录中）") });
    }
    QTableWidget *table = m_ui->TableWidget1;
    table->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        auto *number = new QTableWidgetItem(rows.at(r).number);
        const bool ticked = std::any_of(shown.sets.cbegin(), shown.sets.cend(),
            [&](const QString &n) { return n.compare(rows.at(r).number, Qt::CaseInsensitive) == 0; });
        number->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        table->setItem(r, Number, number);
        table->setItem(r, Name, new QTableWidgetItem(rows.at(r).name));
        for (int c = LastBackup; c < Columns; ++c)
            table->setItem(r, c, new QTableWidgetItem());
    }
    fitColumns();
    (shown.allSets ? m_ui->RadioButton1 : m_ui->RadioButton2)->setChecked(true);
    RadioButtonClick();
    m_ui->Label4->clear();
    m_ui->CheckBox1->setFocus();
    open();
}

void TForm_ZDBF::showStatus(const QList<backupplan::SetStatus> &statuses, const QString &lastRun, bool failed)
{
    QTableWidget *table = m_ui->TableWidget1;
    for (int r = 0; r < table->rowCount(); ++r) {
        const QString number = table->item(r, Number)->text();
        for (const backupplan::SetStatus &s : statuses) {
            if (s.number.compare(number, Qt::CaseInsensitive) != 0)
                continue;
            table->item(r, LastBackup)->setText(s.timeText());
            // The file's name; where it lies, in its tool tip.
            table->item(r, File)->setText(s.file.section(u'/', -1).section(u'\\', -1));
            table->item(r, File)->setToolTip(s.file);
            table->item(r, Outcome)->setText(s.outcomeText());
            table->item(r, Outcome)->setToolTip(s.outcomeText());
            table->item(r, Outcome)->setForeground(s.failed ? QBrush(Qt::red) : QBrush());
        }
    }
    fitColumns();
    const auto failedSets
        = std::count_if(statuses.cbegin(), statuses.cend(), [](const auto &s) { return s.failed; });
    m_ui->Label4->setText(failedSets == 0
            ? lastRun
            : lastRun + QStringLiteral("\n有 %1 个账套最近一次备份失败，原因见“结果”一栏。").arg(failedSets));
    m_ui->Label4->setStyleSheet(failed ? QStringLiteral("color: red;") : QString());
}

void TForm_ZDBF::fitColumns()
{
    // Every column as wide as its contents, the file's at most a third of the table: the outcome
    // stays in sight.
    QTableWidget *table = m_ui->TableWidget1;
    table->resizeColumnsToContents();
    table->setColumnWidth(File, std::min(table->columnWidth(File), table->width() / 3));
}

void TForm_ZDBF::showTimer(bool installed)
{
    m_ui->Label5->setText(installed
            ? QStringLiteral(
                "计划由系统定时器 ztwizard-backup.timer 执行，不需要打开本程序，也不需要有人登录。")
            : QStringLiteral("本机没有安装系统定时器 ztwizard-backup.timer（安装 ztwizard 软件包后才有）："
                             "计划只在按“立即备份”或运行 ztaccountset backup-plan run --due 时执行。"));
}

backupplan::Plan TForm_ZDBF::plan() const
{
    backupplan::Plan p;
    p.server = m_server;
    p.since = m_since;
    p.enabled = m_ui->CheckBox1->isChecked();
    p.time = m_ui->TimeEdit1->time();
    p.keep = m_ui->SpinBox1->value();
    p.allSets = m_ui->RadioButton1->isChecked();
    if (!p.allSets) {
        for (int r = 0; r < m_ui->TableWidget1->rowCount(); ++r) {
            const QTableWidgetItem *item = m_ui->TableWidget1->item(r, Number);
            if (item->checkState() == Qt::Checked)
                p.sets << item->text();
        }
    }
    return p;
}

void TForm_ZDBF::RadioButtonClick()
{
    const bool chosen = m_ui->RadioButton2->isChecked();
    for (int r = 0; r < m_ui->TableWidget1->rowCount(); ++r) {
        QTableWidgetItem *item = m_ui->TableWidget1->item(r, Number);
        item->setFlags(
            chosen ? item->flags() | Qt::ItemIsUserCheckable : item->flags() & ~Qt::ItemIsUserCheckable);
    }
}

void TForm_ZDBF::BitBtn1Click()
{
    if (const auto problem = backupplan::unusablePlan(plan())) {
        notifier().information(*problem, Caption);
        return;
    }
    emit runRequested();
}

void TForm_ZDBF::BitBtn2Click()
{
    if (const auto problem = backupplan::unusablePlan(plan())) {
        notifier().information(*problem, Caption);
        return;
    }
    accept();
}

void TForm_ZDBF::BitBtn3Click()
{
    reject();
}

void TForm_ZDBF::BitBtn4Click()
{
    if (!notifier().ask(QStringLiteral("删除这台服务器的自动备份计划？已有的备份文件保留。"), Caption))
        return;
    emit removeRequested();
}

} // namespace zt::gui
