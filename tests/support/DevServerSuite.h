#pragma once

#include "support/DevServer.h"

#include <QObject>
#include <QtTest>

// A test class against the dev server: started once, back to its demo data
// before every test. Test classes with an init() of their own reset it there.
class DevServerSuite : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void init() { QVERIFY(m_server.reset()); }

protected:
    DevServer m_server;
};
