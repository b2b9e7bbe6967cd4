#include "engine/dir_stack.h"

namespace {

int topDigits(const QString &stack)
{
    return stack.isEmpty() ? 0 : stack.back().digitValue();
}

} // namespace

int dirStackTopIndex(const QString &stack)
{
    const int digits = topDigits(stack);
    return QStringView(stack).mid(stack.size() - 1 - digits, digits).toInt();
}

void dirStackSetTopIndex(QString &stack, int index)
{
    // The digit count is one character: 999,999,999 sub-directories in one directory is the end.
    Q_ASSERT(index >= 0 && index <= 999999999);
    dirStackPop(stack);
    const QString number = QString::number(index);
    stack += QLatin1Char(';') + number + QString::number(number.size());
}

void dirStackPush(QString &stack)
{
    stack += QLatin1String(";01");
}

void dirStackPop(QString &stack)
{
    stack.chop(topDigits(stack) + 2);
}
