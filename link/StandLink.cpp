#include "StandLink.h"

StandLink::StandLink(RegisterImage& image, QObject* parent) : QObject(parent), image_(image) {
    // The poll tick must really come every 20 ms to reach 25 turns a second.
    tmPort.setTimerType(Qt::PreciseTimer);
    tmPort.setInterval(20);
    // Coarse timers may fire 5% early: a time-out must not cut a reply short, and the
    // statistics tick must span a full second.
    tmTimeOut.setTimerType(Qt::PreciseTimer);
    tmTimeOut.setInterval(1000);
    tmFPS.setTimerType(Qt::PreciseTimer);
    tmFPS.setInterval(1000);
    connect(&tmFPS, &QTimer::timeout, this, &StandLink::tmFPSTimer);
    tmPort.start();
    tmFPS.start();
}

void StandLink::setIdle() {
    fStatus = true;
    State = 1;
    IRByte = 0;
}

void StandLink::stop() {
    tmPort.stop();
    tmTimeOut.stop();
}

void StandLink::tmFPSTimer() {
    FPS = tFPS;
    tFPS = 0;
}
