#pragma once

#include <QString>

class QWidget;

namespace zt::gui {

// The message boxes the windows show, behind one small interface so that tests can answer them.
class Notifier
{
public:
    virtual ~Notifier() = default;

    // Information icon, OK.
    virtual void information(const QString &text, const QString &caption) = 0;
    // Question icon, OK and Cancel; true for OK.
    virtual bool question(const QString &text, const QString &caption) = 0;
    // Error icon, OK.
    virtual void error(const QString &text, const QString &caption) = 0;
    // Standard confirmation dialog with Yes and No; true for Yes.
    virtual bool confirm(const QString &text) = 0;
    // OK only, titled with the application title.
    virtual void plain(const QString &text) = 0;
    // Question icon, Yes and No, titled caption; true for Yes. Without its own box, the standard
    // confirmation stands in.
    virtual bool ask(const QString &text, const QString &caption)
    {
        Q_UNUSED(caption);
        return confirm(text);
    }
    // Warning icon, OK and Cancel with Cancel the default, so that Enter decides nothing; true for
    // OK. Without its own box, question() stands in.
    virtual bool warn(const QString &text, const QString &caption) { return question(text, caption); }
    // Warning icon, the text and a line to type into, OK and Cancel; the typed text, empty for
    // Cancel.
    virtual QString askText(const QString &text, const QString &caption) = 0;
};

// Real message boxes.
class MessageBoxNotifier final : public Notifier
{
public:
    void information(const QString &text, const QString &caption) override;
    bool question(const QString &text, const QString &caption) override;
    void error(const QString &text, const QString &caption) override;
    bool confirm(const QString &text) override;
    void plain(const QString &text) override;
    bool ask(const QString &text, const QString &caption) override;
    bool warn(const QString &text, const QString &caption) override;
    QString askText(const QString &text, const QString &caption) override;
};

// The notifier every window uses; tests replace it.
Notifier &notifier();
void setNotifier(Notifier *notifier); // nullptr restores the message boxes

// The application title, "创建帐套".
QString applicationTitle();

// Runs a handler body; an error escaping it is shown in the standard error box (error icon,
// application title, the message text) and the application goes on.
template<typename F> void guarded(F &&body);

} // namespace zt::gui

#include "notifier_impl.h"
