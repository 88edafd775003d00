#pragma once

#include <QMainWindow>

namespace Ui {
class MainWindow;
}

class QTimer;

// The splash shown while the converter starts: a looping 16-frame animation,
// drawn as the border image of the central widget. It never closes itself;
// the converter ends the launcher.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ends every converter process still running, then starts the converter
    // from the launcher's directory without waiting for it.
    void restartConverter();

private slots:
    void lunach();

private:
    Ui::MainWindow *ui;
    QTimer *timer;
    qint32 frame;
};
