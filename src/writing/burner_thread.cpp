#include "writing/burner_thread.h"

#include "writing/image_burner.h"

#include <QThread>

namespace {

const uint stack_size = 0x1000000;

} // namespace

namespace burner_thread {

QThread* make(image_burner& burner)
{
    auto* thread = new QThread;
    burner.moveToThread(thread);
    QObject::connect(thread, &QThread::started, &burner, &image_burner::burn_image);
    // The thread has nothing left to do once the burner is through.
    QObject::connect(thread, &QThread::started, thread, &QThread::quit, Qt::DirectConnection);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    return thread;
}

void start(QThread* thread)
{
    thread->setStackSize(stack_size);
    thread->start(QThread::InheritPriority);
    thread->setPriority(QThread::TimeCriticalPriority);
}

} // namespace burner_thread
