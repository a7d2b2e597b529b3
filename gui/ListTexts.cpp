#include "gui/ListTexts.h"

#include "base/catalogue/DueDates.h"
#include "gui/ListWidgets.h"

#include <QBrush>
#include <QLocale>
#include <QTreeWidgetItem>

namespace tavrin {

QDate ToQDate(const TCalendarDate& date)
{
    return QDate(date.Year, date.Month, date.Day);
}

TCalendarDate FromQDate(const QDate& date)
{
    return TCalendarDate{date.year(), date.month(), date.day()};
}

QDateTime SentMoment(const std::string& text)
{
    return QDateTime::fromString(QString::fromStdString(text), "yyyy-MM-dd HH:mm:ss");
}

QDateTime AnswerMoment(const std::string& text)
{
    // The "Z" makes it a UTC moment; one without a zone would be taken as local.
    const QDateTime moment = QDateTime::fromString(QString::fromStdString(text), Qt::ISODate);
    if (!moment.isValid() || moment.timeSpec() == Qt::LocalTime)
        return QDateTime();
    return moment.toLocalTime();
}

void ShowMoment(QTreeWidgetItem& item, int column, const QDateTime& moment, const std::string& text)
{
    item.setText(column, moment.isValid() ? QLocale::system().toString(moment, QLocale::ShortFormat)
                                          : QString::fromStdString(text));
    item.setData(column, SortRole, moment.isValid() ? QVariant(moment) : QVariant());
}

void ShowDueDate(QTreeWidgetItem& item, int column, const std::optional<TCalendarDate>& due, bool settled,
                 const QDate& today)
{
    const QLocale locale = QLocale::system();
    item.setText(column, due ? locale.toString(ToQDate(*due), QLocale::ShortFormat) : QString());
    item.setData(column, SortRole, due ? QVariant(ToQDate(*due)) : QVariant());
    const bool overdue = !settled && IsOverdue(due, FromQDate(today));
    item.setForeground(column, overdue ? QBrush(Qt::red) : QBrush());
    if (overdue)
        item.setToolTip(column, "Overdue since " + locale.toString(ToQDate(*due).addDays(1), QLocale::ShortFormat));
}

}  // namespace tavrin
