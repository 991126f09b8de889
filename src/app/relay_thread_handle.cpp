#include "app/relay_thread_handle.h"

#include "relay/mx_thread.h"

#include <QMetaObject>

RelayThreadHandle::RelayThreadHandle(SendViaTapi sendViaTapi)
{
    RelayCallbacks callbacks;
    if (sendViaTapi) {
        callbacks.OnSendViaTapi = [this, sendViaTapi](const std::string& request, std::string& response) {
            bool sent = false;
            QMetaObject::invokeMethod(
                this, [&] { sent = sendViaTapi(request, response); }, Qt::BlockingQueuedConnection);
            return sent;
        };
    }
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
