#pragma once

#include <QtTest>
#include <QtWidgets>

// Helpers for the window tests: named children, the application icon, and
// what each named widget of a form shows the user.

template<typename T = QWidget>
T *namedChild(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qWarning("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

inline bool showsAppIcon(const QWidget *window)
{
    const QIcon icon(QStringLiteral(":/appicon.png"));
    return !icon.isNull() && window->windowIcon().pixmap(32).toImage() == icon.pixmap(32).toImage();
}

// The text a widget shows: a group box's title, a spin box's range as
// "min..max", a combo box's items or a tab widget's tabs joined by '|'.
inline QString shownText(const QWidget *w)
{
    QStringList texts;
    if (auto *box = qobject_cast<const QComboBox *>(w)) {
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
    } else if (auto *tabs = qobject_cast<const QTabWidget *>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            texts << tabs->tabText(i);
    } else if (qobject_cast<const QAbstractSpinBox *>(w)) {
        return w->property("minimum").toString() + ".." + w->property("maximum").toString();
    } else if (qobject_cast<const QGroupBox *>(w)) {
        return w->property("title").toString();
    } else {
        return w->property("text").toString();
    }
    return texts.join('|');
}

// The forms' fixed label boxes are sized for this font (Debian package
// fonts-dejavu-extra); a fallback font draws some labels cut off.
inline bool usesFormFont(const QWidget *w)
{
    return QFontInfo(w->font()).family() == QLatin1String("DejaVu Sans Condensed");
}
#define REQUIRE_FORM_FONT(w)                                                                                 \
    QVERIFY2(usesFormFont(w), "DejaVu Sans Condensed is not installed (Debian: fonts-dejavu-extra)")

struct FormRow
{
    const char *name;
    const char *className;
    QString text;
};

// "name: class, text" of every row the window does not match; empty when all do.
inline QString formMismatches(const QWidget *window, const QVector<FormRow> &rows)
{
    QStringList wrong;
    for (const FormRow &row : rows) {
        const QWidget *w = window->findChild<QWidget *>(QLatin1String(row.name));
        const QString found = w ? QString(w->metaObject()->className()) + ", " + shownText(w) : "missing";
        if (found != QString(row.className) + ", " + row.text)
            wrong << QString(row.name) + ": " + found;
    }
    return wrong.join("; ");
}
