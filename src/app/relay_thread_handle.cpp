#include "app/relay_thread_handle.h"

#include "relay/mx_thread.h"

#include <QMetaObject>

#include <optional>
#include <stdexcept>
#include <string>

RelayThreadHandle::RelayThreadHandle(std::function<void()> establishDialUp, SendViaTapi sendViaTapi)
    : establishDialUp_(std::move(establishDialUp))
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
    if (establishDialUp_) {
        callbacks.OnEstablishDialUpConnection = [this] {
            // An exception must not cross the event loop: carry its text over.
            std::optional<std::string> failure;
            QMetaObject::invokeMethod(
                this,
                [this, &failure] {
                    try {
                        establishDialUp_();
                    } catch (const std::exception& error) {
                        failure = error.what();
                    }
                },
                Qt::BlockingQueuedConnection);
            if (failure)
                throw std::runtime_error(*failure);
        };
    }
    callbacks.OnReady = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                started_ = true;
                emit Started();
            },
            Qt::BlockingQueuedConnection);
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
    stopping_ = true;
    thread_->Terminate();
}

void RelayThreadHandle::DetachRunaway()
{
    disconnect(this, nullptr, nullptr, nullptr);
    thread_->Terminate();
}
