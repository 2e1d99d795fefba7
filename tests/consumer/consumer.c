/* Lists the attached units and drives the first Generic unit: the smallest useful host program. */
#include <KavraLib.h>

#include <stdio.h>
#include <string.h>

int main(void)
{
    char version[32];
    int count = -1;
    int index = 0;
    int status;
    double current = -1.0;
    bool on = false, limited = true;

    if (getLibraryVersion(version, sizeof version) != 0)
        return 10;
    initialiseSession();
    getDeviceCount(&count);
    printf("KavraLib %s: %d units\n", version, count);
    if (count < 1)
        return 11;
    for (int i = 1; i <= count; ++i) {
        char serial[16];
        if (getDeviceSerialNumber(i, serial, sizeof serial) != 0)
            return 12;
        printf("%d %s\n", i, serial);
    }
    if (getDeviceIndex("qzah019010003", &index) != 0)
        return 13;
    if ((status = setVoltage(index, 1, 1000.0, 100.0)) != 0
        || (status = turnVoltageOn(index, 1)) != 0)
        return 20 + status;
    if ((status = getChannelStatus(index, 1, &on, &limited)) != 0 || !on)
        return 60 + status;
    if ((status = getChannelCurrent(index, 1, &current)) != 0)
        return 100 + status;
    printf("unit %d: on, %.0f\n", index, current);
    turnVoltageOff(index, 1);
    closeSession();
    return 0;
}
