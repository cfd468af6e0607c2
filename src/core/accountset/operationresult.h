#pragma once

#include "data/dataerror.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

namespace zt::accountset {

// One step of an operation that ran: how long it took and whether it failed.
template<typename Step> struct StepRun
{
    Step step;
    qint64 elapsedMs = 0;
    bool failed = false;
};

// What every account-set operation the front ends call reports, in one shape: the steps that
// ran, in order; the step that ended it, with the server's or driver's text and the server's
// message numbers; and, in each operation's own result that derives from this one, what is left
// (a backup file, a database without its row, a note for the doctor). The operations never throw
// a data error; each front end shows the outcome in its own way, with the words the core gives
// (outcometext.h and the texts beside each operation).
template<typename Step> struct OperationResult
{
    QList<StepRun<Step>> steps; // the steps that ran, in order
    std::optional<Step> failedStep; // the step that ended the operation
    QString error; // its text (empty where a check, such as a password, failed)
    QList<int> errorNumbers; // the server's message numbers in the error (1801: database exists)

    bool succeeded() const { return !failedStep; }
    bool failedWith(int number) const { return errorNumbers.contains(number); }

    // The time the step took, when it ran.
    std::optional<qint64> elapsedMs(Step step) const
    {
        for (const StepRun<Step> &run : steps) {
            if (run.step == step)
                return run.elapsedMs;
        }
        return std::nullopt;
    }

    // Runs a step, timed. A data::DataError marks it failed and ends the operation there:
    // false, with the error kept.
    template<typename Work> bool run(Step step, Work &&work)
    {
        if (auto error = attempt(step, std::forward<Work>(work))) {
            fail(step, *error);
            return false;
        }
        return true;
    }

    // Runs a step whose failure the caller may still accept (the safety copy before a deletion,
    // when the user says to go on): the step is marked failed and its error comes back, but the
    // operation is not ended.
    template<typename Work> std::optional<data::DataError> attempt(Step step, Work &&work)
    {
        QElapsedTimer clock;
        clock.start();
        StepRun<Step> run { step };
        std::optional<data::DataError> error;
        try {
            work();
        } catch (const data::DataError &e) {
            run.failed = true;
            error = e;
        }
        run.elapsedMs = clock.elapsed();
        steps.append(run);
        return error;
    }

    // A step decided without work (a password compared, the input checked): recorded, and a
    // failed one ends the operation with the text given.
    bool check(Step step, bool passed, const QString &text = {})
    {
        steps.append({ step, 0, !passed });
        if (!passed)
            fail(step, data::DataError(text));
        return passed;
    }

    // Ends the operation at the step that ran last, which turned out failed (a row that was not
    // there to change, a set listed already), with the text given.
    void failLastStep(const QString &text = {})
    {
        steps.last().failed = true;
        fail(steps.last().step, data::DataError(text));
    }

    // Ends the operation at the step with the error.
    void fail(Step step, const data::DataError &e)
    {
        failedStep = step;
        error = e.message();
        errorNumbers = e.numbers();
    }
};

} // namespace zt::accountset
