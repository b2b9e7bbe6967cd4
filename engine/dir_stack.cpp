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
    // Written in place, digit by digit: the walk sets it at each of a tree's folders, and the
    // room the entry had is still there.
    char digits[10];
    int count = 0;
    do {
        digits[count++] = char('0' + index % 10);
        index /= 10;
    } while (index > 0);
    stack += QLatin1Char(';');
    for (int i = count; i > 0;)
        stack += QLatin1Char(digits[--i]);
    stack += QLatin1Char(char('0' + count));
}

void dirStackPush(QString &stack)
{
    stack += QLatin1String(";01");
}

void dirStackPop(QString &stack)
{
    stack.chop(topDigits(stack) + 2);
}
