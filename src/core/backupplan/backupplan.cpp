#include "backupplan.h"

#include "accountset/accountsetobjects.h"
#include "accountset/identifiers.h"
#include "data/dataerror.h"
#include "install/installation.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimeZone>
#include <QUrl>

namespace zt::backupplan {

namespace {

const QString PlanSuffix = QStringLiteral(".plan.json");
const QString StateSuffix = QStringLiteral(".state.json");

// A server's files are named after its name as the user compares it (trimmed, any letter case),
// with everything but letters, digits, '-' and '_' percent-encoded (dots too: no name reaches
// outside the folder or hides as a dot file), and "(embedded)" and "(EMBEDDED) " share one plan.
QString fileStem(const QString &server)
{
    return QString::fromLatin1(
        QUrl::toPercentEncoding(accountset::trimmed(server).toCaseFolded(), {}, QByteArrayLiteral(".~")));
}

QString planFile(const QString &server)
{
    return planFolder() + fileStem(server) + PlanSuffix;
}

QString stateFile(const QString &server)
{
    return planFolder() + fileStem(server) + StateSuffix;
}

QString isoText(const QDateTime &moment)
{
    return moment.isValid() ? moment.toString(Qt::ISODate) : QString();
}

QDateTime fromIso(const QJsonValue &value)
{
    return QDateTime::fromString(value.toString(), Qt::ISODate);
}

std::optional<QJsonObject> readObject(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly)) {
        throw data::DataError(QStringLiteral("无法读取自动备份计划文件“%1”（%2）。请检查这个文件的读取权限。")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        throw data::DataError(
            QStringLiteral("自动备份计划文件“%1”已损坏（%2）。请重新设置这台服务器的自动备份。")
                .arg(QDir::toNativeSeparators(path), error.errorString()));
    }
    return document.object();
}

void writeObject(const QString &path, const QJsonObject &object)
{
    QDir().mkpath(planFolder());
    const QByteArray content = QJsonDocument(object).toJson(QJsonDocument::Indented);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
        throw data::DataError(
            QStringLiteral("无法保存自动备份计划：文件“%1”不能写入（%2）。请检查这个文件夹的写入权限。")
                .arg(QDir::toNativeSeparators(path), out.errorString()));
    }
}

Plan planFrom(const QJsonObject &o)
{
    Plan plan;
    plan.server = o.value(QStringLiteral("server")).toString();
    plan.enabled = o.value(QStringLiteral("enabled")).toBool(true);
    const QTime time = QTime::fromString(o.value(QStringLiteral("time")).toString(), QStringLiteral("HH:mm"));
    if (time.isValid())
        plan.time = time;
    plan.keep = o.value(QStringLiteral("keep")).toInt(plan.keep);
    plan.allSets = o.value(QStringLiteral("all_sets")).toBool(true);
    for (const QJsonValue &v : o.value(QStringLiteral("sets")).toArray())
        plan.sets << v.toString();
    plan.since = fromIso(o.value(QStringLiteral("since")));
    return plan;
}

QJsonObject objectOf(const Plan &plan)
{
    return { { QStringLiteral("server"), plan.server }, { QStringLiteral("enabled"), plan.enabled },
        { QStringLiteral("time"), plan.time.toString(QStringLiteral("HH:mm")) },
        { QStringLiteral("keep"), plan.keep }, { QStringLiteral("all_sets"), plan.allSets },
        { QStringLiteral("sets"), QJsonArray::fromStringList(plan.sets) },
        { QStringLiteral("since"), isoText(plan.since) } };
}

} // namespace

const SetState *PlanState::find(const QString &number) const
{
    for (const SetState &s : sets) {
        if (s.number.compare(number, Qt::CaseInsensitive) == 0)
            return &s;
    }
    return nullptr;
}

SetState &PlanState::entry(const QString &number)
{
    for (SetState &s : sets) {
        if (s.number.compare(number, Qt::CaseInsensitive) == 0)
            return s;
    }
    sets.append(SetState { number, {}, false, {}, {}, 0 });
    return sets.last();
}

QString planFolder()
{
    return install::directory() + QStringLiteral("data/backupplans/");
}

std::optional<Plan> loadPlan(const QString &server)
{
    const auto object = readObject(planFile(server));
    if (!object)
        return std::nullopt;
    Plan plan = planFrom(*object);
    if (plan.server.isEmpty())
        plan.server = server;
    return plan;
}

QList<Plan> allPlans(QStringList *problems)
{
    QList<Plan> plans;
    const QStringList files = QDir(planFolder()).entryList({ u'*' + PlanSuffix }, QDir::Files, QDir::Name);
    for (const QString &file : files) {
        try {
            if (const auto object = readObject(planFolder() + file))
                plans << planFrom(*object);
        } catch (const data::DataError &e) {
            if (problems)
                *problems << e.message();
        }
    }
    return plans;
}

void savePlan(const Plan &plan)
{
    Plan kept = plan;
    if (!kept.since.isValid()) {
        std::optional<Plan> before;
        try {
            before = loadPlan(plan.server);
        } catch (const data::DataError &) { }
        kept.since = before && before->since.isValid() ? before->since : QDateTime::currentDateTime();
    }
    writeObject(planFile(plan.server), objectOf(kept));
}

void removePlan(const QString &server)
{
    QFile::remove(planFile(server));
    QFile::remove(stateFile(server));
}

QString runLockFile(const QString &server)
{
    return planFolder() + fileStem(server) + QStringLiteral(".lock");
}

PlanState loadState(const QString &server)
{
    PlanState state;
    std::optional<QJsonObject> object;
    try {
        object = readObject(stateFile(server));
    } catch (const data::DataError &) {
        return state; // what runs left is a record, not the plan: a damaged one starts afresh
    }
    if (!object)
        return state;
    state.lastRunStarted = fromIso(object->value(QStringLiteral("last_run_started")));
    state.lastRunFinished = fromIso(object->value(QStringLiteral("last_run_finished")));
    state.lastRunSucceeded = object->value(QStringLiteral("last_run_succeeded")).toBool();
    state.lastRunProblem = object->value(QStringLiteral("last_run_problem")).toString();
    for (const QJsonValue &v : object->value(QStringLiteral("sets")).toArray()) {
        const QJsonObject s = v.toObject();
        state.sets.append(SetState { s.value(QStringLiteral("number")).toString(),
            fromIso(s.value(QStringLiteral("attempted"))), s.value(QStringLiteral("succeeded")).toBool(),
            s.value(QStringLiteral("location")).toString(), s.value(QStringLiteral("error")).toString(),
            s.value(QStringLiteral("slot")).toInt() });
    }
    return state;
}

void saveState(const QString &server, const PlanState &state)
{
    QJsonArray sets;
    for (const SetState &s : state.sets) {
        sets.append(QJsonObject { { QStringLiteral("number"), s.number },
            { QStringLiteral("attempted"), isoText(s.attempted) },
            { QStringLiteral("succeeded"), s.succeeded }, { QStringLiteral("location"), s.location },
            { QStringLiteral("error"), s.error }, { QStringLiteral("slot"), s.slot } });
    }
    writeObject(stateFile(server),
        { { QStringLiteral("server"), server },
            { QStringLiteral("last_run_started"), isoText(state.lastRunStarted) },
            { QStringLiteral("last_run_finished"), isoText(state.lastRunFinished) },
            { QStringLiteral("last_run_succeeded"), state.lastRunSucceeded },
            { QStringLiteral("last_run_problem"), state.lastRunProblem }, { QStringLiteral("sets"), sets } });
}

std::optional<QString> unusablePlan(const Plan &plan)
{
    if (accountset::trimmed(plan.server).isEmpty())
        return QStringLiteral("请先选择或录入SQL服务器名称。");
    if (plan.keep < 1 || plan.keep > Plan::MostCopies)
        return QStringLiteral("保留份数应在 1 到 %1 之间。").arg(Plan::MostCopies);
    if (!plan.time.isValid())
        return QStringLiteral("请给出每天备份的时间（时:分）。");
    if (!plan.allSets && plan.sets.isEmpty())
        return QStringLiteral("请选择要自动备份的账套，或选择“全部网络账套”。");
    for (const QString &number : plan.sets) {
        if (const auto problem = accountset::unusableDatabaseName(number))
            return QStringLiteral("账套编号“%1”：%2").arg(number, *problem);
    }
    return std::nullopt;
}

QDateTime latestScheduledMoment(const Plan &plan, const QDateTime &now)
{
    QDateTime today(now.date(), plan.time, now.timeZone());
    return today <= now ? today : today.addDays(-1);
}

bool isDue(const Plan &plan, const PlanState &state, const QDateTime &now)
{
    if (!plan.enabled)
        return false;
    QDateTime reference = state.lastRunStarted;
    if (!reference.isValid() || (plan.since.isValid() && plan.since > reference))
        reference = plan.since;
    return !reference.isValid() || reference < latestScheduledMoment(plan, now);
}

QString rotationFileName(const QString &number, int slot)
{
    return number + QStringLiteral("_auto_") + QString::number(slot) + QStringLiteral(".bak");
}

int nextSlot(const SetState *last, int keep)
{
    if (!last || last->slot < 1 || last->slot >= keep)
        return 1;
    return last->slot + 1;
}

} // namespace zt::backupplan
