#pragma once

#include <QWidget>

class Forms;
class QTimer;

// The splash screen: a borderless picture in the middle of the screen for two seconds at
// start-up; its one timer tick completes the start-up. Clicks and keys do nothing.
class frmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit frmSplash(Forms &forms);

    QTimer *Timer1 = nullptr;

    void Form_Load();
    void Timer1_Timer();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *) override {}
    void mouseReleaseEvent(QMouseEvent *) override {}
    void mouseDoubleClickEvent(QMouseEvent *) override {}
    void keyPressEvent(QKeyEvent *) override {}
    void closeEvent(QCloseEvent *event) override;

private:
    Forms &forms_;
    QPixmap picture_;
};
