// ztaccountset doctor: the four places of one server's account sets compared, and mended on request.

#include "accountsethelpers.h"
#include "commands.h"

#include "doctor/doctor.h"

#include <QJsonArray>

#include <cstdio>

namespace zt::cli {

namespace {

QJsonObject findingObject(const doctor::Finding &f)
{
    QJsonObject object { { QStringLiteral("kind"), f.kindName() }, { QStringLiteral("title"), f.title() },
        { QStringLiteral("meaning"), f.meaning() }, { QStringLiteral("mend"), f.mend() } };
    if (!f.number.isEmpty())
        object.insert(QStringLiteral("db"), f.number);
    if (!f.path.isEmpty())
        object.insert(QStringLiteral("path"), f.path);
    if (!f.missingTables.isEmpty())
        object.insert(QStringLiteral("missing_tables"), QJsonArray::fromStringList(f.missingTables));
    if (!f.partialTables.isEmpty())
        object.insert(QStringLiteral("partial_tables"), QJsonArray::fromStringList(f.partialTables));
    if (!f.source.isEmpty()) // an interrupted copy: the set copied and the backup it was made from
        object.insert(QStringLiteral("source"),
            QJsonObject { { QStringLiteral("db"), f.source }, { QStringLiteral("backup"), f.backup } });
    return object;
}

void tell(Report &report, const doctor::Examination &e, const QString &key)
{
    QJsonArray findings;
    for (const doctor::Finding &f : e.findings) {
        findings.append(findingObject(f));
        report.message(f.title() + u'\n' + QStringLiteral("  含义：") + f.meaning() + u'\n'
            + QStringLiteral("  ") + f.mend());
    }
    for (const QString &problem : e.problems)
        report.message(problem);
    report.set(key,
        QJsonObject { { QStringLiteral("findings"), findings },
            { QStringLiteral("problems"), QJsonArray::fromStringList(e.problems) },
            { QStringLiteral("consistent"), e.consistent() }, { QStringLiteral("databases"), e.databases },
            { QStringLiteral("local_rows"), e.localRows },
            { QStringLiteral("directory_rows"), e.directoryRows },
            { QStringLiteral("per_set_files"), e.perSetFiles } });
}

// Asks on the controlling terminal; false without one.
bool confirmOnTerminal(const QString &question)
{
    FILE *tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return false;
    std::fputs(question.toLocal8Bit().constData(), tty);
    std::fflush(tty);
    char answer[16] = {};
    const bool read = std::fgets(answer, sizeof answer, tty) != nullptr;
    std::fclose(tty);
    return read && (answer[0] == 'y' || answer[0] == 'Y');
}

} // namespace

int runDoctor(const QCommandLineParser &options, Report &report)
{
    if (!serverNamed(options, report))
        return report.finish(ExitUsage);
    const QString server = options.value(QStringLiteral("server"));
    report.set(QStringLiteral("server"), server);
    const bool repair = options.isSet(QStringLiteral("repair"));
    doctor::RepairOptions repairOptions;
    repairOptions.finish = options.isSet(QStringLiteral("finish"));
    if (repairOptions.finish) {
        if (!repair || !options.isSet(QStringLiteral("name"))) {
            report.message(
                QStringLiteral("--finish 需要 --repair 和 --name（补齐的账套按这个名称和账套口令登记）。"));
            return report.finish(ExitUsage);
        }
        repairOptions.name = options.value(QStringLiteral("name"));
        const auto password = setPassword(options, report, true);
        if (!password)
            return report.finish(ExitUsage);
        if (password->again != password->text) {
            report.message(QStringLiteral("账套口令校验错误！"));
            return report.finish(ExitUsage);
        }
        repairOptions.password = password->text;
    }

    if (!loginStored(options.value(QStringLiteral("server")), report))
        return report.finish(ExitFailed);
    accountset::AccountSetObjects o;
    doctor::Examination before;
    {
        StepTimer timer(report, QStringLiteral("examine"));
        before = doctor::examine(o, server);
    }
    tell(report, before, QStringLiteral("examination"));
    if (before.findings.isEmpty()) {
        if (before.problems.isEmpty())
            report.message(
                QStringLiteral("账套一致：本机账套列表、网络账套目录、服务器上的数据库和账套系统文件相符。"));
        return report.finish(before.consistent() ? ExitOk : ExitFailed);
    }
    if (!repair)
        return report.finish(ExitFailed);

    if (!options.isSet(QStringLiteral("yes"))
        && !confirmOnTerminal(QStringLiteral("修复以上 %1 项？（y/N）").arg(before.findings.size()))) {
        report.message(QStringLiteral("没有修复：未确认（在终端上回答 y，或加 --yes）。"));
        return report.finish(ExitFailed);
    }
    doctor::Examination after;
    QList<doctor::RepairStep> steps;
    {
        StepTimer timer(report, QStringLiteral("repair"));
        steps = doctor::repairAll(o, server, repairOptions, after);
    }
    QJsonArray done;
    for (const doctor::RepairStep &step : std::as_const(steps)) {
        report.message(step.text);
        QJsonObject object = findingObject(step.finding);
        object.insert(QStringLiteral("done"), step.done);
        object.insert(QStringLiteral("text"), step.text);
        if (!step.kept.isEmpty())
            object.insert(QStringLiteral("kept"), step.kept);
        done.append(object);
    }
    report.set(QStringLiteral("repairs"), done);
    tell(report, after, QStringLiteral("after"));
    if (after.consistent())
        report.message(QStringLiteral("修复完成：账套一致。"));
    return report.finish(after.consistent() ? ExitOk : ExitFailed);
}

} // namespace zt::cli
