#include "app/widget.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/board_access.h"
#include "hid/device_watch.h"
#include "ui_widget.h"

// The device watch's decision, run once on the GUI thread. Nothing is bound to it: the
// watch thread alone re-opens the board.
void Widget::check_hid_device() {
    run_watch_pass(hid, watch_enabled, watch_skip_rounds);
}

void Widget::system_suspending() {
    suspend_watch(hid, watch_enabled, watch_skip_rounds);
}

void Widget::system_resumed() {
    resume_watch(watch_enabled);
}

// A plugged-in board that cannot be opened would look like no board at all: say why, on the
// indicator's tool tip and on the Info page, which stays enabled for it.
void Widget::present_board_access() {
    const std::optional<Hid_Device::Refusal> refusal = hid.refusal();
    const QString text =
        refusal ? board_refusal_text(QString::fromStdString(refusal->path), refusal->error)
                : QString();
    if (!board_access_label) {
        board_access_label = new QLabel(ui->info_frame->parentWidget());
        board_access_label->setObjectName(QStringLiteral("board_access_label"));
        board_access_label->setWordWrap(true);
        board_access_label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        board_access_label->hide();
        ui->info_groupBox_verticalLayout->addWidget(board_access_label);
    }
    if (text == shown_board_access) {
        return;
    }
    shown_board_access = text;
    ui->status_label->setToolTip(text);
    board_access_label->setText(text);
    board_access_label->setVisible(!text.isEmpty());
}
