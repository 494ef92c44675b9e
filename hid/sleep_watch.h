#pragma once

#include <QObject>

// Tells when the system suspends and resumes, from logind's PrepareForSleep signal on the
// system bus. Without a system bus it stays silent.
class Sleep_Watch : public QObject {
    Q_OBJECT

public:
    explicit Sleep_Watch(QObject* parent = nullptr);
    bool listening() const { return connected; }

signals:
    void suspending();
    void resumed();

private slots:
    void prepare_for_sleep(bool going_to_sleep);

private:
    bool connected = false;
};
