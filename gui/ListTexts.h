#pragma once

#include "base/text/CalendarDate.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <optional>
#include <string>

class QTreeWidgetItem;

namespace tavrin {

// The dates and times of the job lists, in the desktop's own short formats,
// with what they sort by.

QDate ToQDate(const TCalendarDate& date);
TCalendarDate FromQDate(const QDate& date);

// When the post queue says a job was sent ("2026-12-10 09:26:41", local
// time); invalid for a text that is no such moment.
QDateTime SentMoment(const std::string& text);
// When an answer came, as the web host writes it in UTC
// ("2026-12-10T09:30:00Z"), in local time; invalid for a text that is no
// such moment.
QDateTime AnswerMoment(const std::string& text);

// Shows a moment in the column in the desktop's short date and time format,
// sorting by the moment; a text that is no moment is shown as it is.
void ShowMoment(QTreeWidgetItem& item, int column, const QDateTime& moment, const std::string& text);

// Shows the due date in the column in the desktop's short date format,
// sorting by the date; empty when there is none. Unless the job is settled,
// a date whose next day has begun is red, with the hint "Overdue since
// DATE" (that next day); other hints are left as they are.
void ShowDueDate(QTreeWidgetItem& item, int column, const std::optional<TCalendarDate>& due, bool settled,
                 const QDate& today);

}  // namespace tavrin
