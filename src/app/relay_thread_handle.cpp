#include "app/relay_thread_handle.h"

#include "relay/mx_thread.h"

#include <QMetaObject>

RelayThreadHandle::RelayThreadHandle()
{
    RelayCallbacks callbacks;
    callbacks.OnReady = [this] {
        QMetaObject::invokeMethod(this, [this] { emit Started(); }, Qt::BlockingQueuedConnection);
    };
    callbacks.OnTerminate = [this] {
        QMetaObject::invokeMethod(this, [this] { emit Terminated(); }, Qt::QueuedConnection);
    };
    thread_ = std::make_unique<TMxSockThread>(std::move(callbacks));
}

RelayThreadHandle::~RelayThreadHandle() = default;

void RelayThreadHandle::Start()
{
    thread_->Resume();
}

void RelayThreadHandle::RequestTerminate()
{
    thread_->Terminate();
}

void RelayThreadHandle::DetachRunaway()
{
    disconnect(this, nullptr, nullptr, nullptr);
    thread_->Terminate();
}
