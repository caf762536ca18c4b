#include "storage/polls.h"
#include "ui_polls.h"

#include "resources/appresources.h"

#include "app/pollstore.h"

#include <QListWidgetItem>

namespace {

QString entryText(int number)
{
    return QStringLiteral("P") + QString::number(number);
}

int entryNumber(const QListWidgetItem *item)
{
    return item->text().mid(1).toInt(nullptr, 10);
}

} // namespace

polls::polls(QList<int> &workingSequence, QWidget *parent)
    : QDialog(parent)
    , workingSequence(&workingSequence)
    , ui(new Ui::polls)
{
    initAppResources();
    ui->setupUi(this);
    // Every way of closing commits, which happens on destruction.
    setAttribute(Qt::WA_DeleteOnClose);
    // Drags and drops over the picture must reach the bin list beneath it.
    ui->bin->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->sequence->viewport()->setCursor(Qt::ArrowCursor);
    for (int number : workingSequence)
        ui->sequence->addItem(entryText(number));
    showPollInfo(1);
}

polls::~polls()
{
    // The commit: runs before QObject's destructor emits destroyed(), so the
    // main window's handler already sees the edited list.
    workingSequence->clear();
    for (int row = 0; row < ui->sequence->count(); ++row)
        workingSequence->append(entryNumber(ui->sequence->item(row)));
    delete ui;
}

void polls::showPollInfo(int number)
{
    const Poll none;
    const Poll *poll = pollNumber(number);
    if (!poll)
        poll = &none;
    ui->Poll_Desc->setText(poll->polldesc.isEmpty() ? QStringLiteral("No Description") : poll->polldesc);
    ui->line1->setText(QStringLiteral("Start Address:") + poll->startaddr);
    ui->line2->setText(QStringLiteral("Function") + functions.text(poll->function.toInt(nullptr, 10)));
}

void polls::on_pushButton_clicked()
{
    ui->sequence->addItem(entryText(ui->pollnum->value()));
    ui->sequence->clearSelection();
    ui->sequence->setCurrentRow(ui->sequence->count() - 1);
}

void polls::on_pollnum_valueChanged(int value)
{
    showPollInfo(value);
}

void polls::on_sequence_itemClicked(QListWidgetItem *item)
{
    const int number = entryNumber(item);
    showPollInfo(number);
    ui->pollnum->setValue(number);
}

void polls::on_backbutton_clicked()
{
    // At once, like every Confirm or Cancel button: Qt guards the click's
    // delivery against the receiver's deletion, and nothing touches a member
    // after this line.
    delete this;
}
