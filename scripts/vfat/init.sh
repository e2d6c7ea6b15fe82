#!/bin/busybox sh
# The guest's first process: loads the FAT and virtio drivers, then for
# each step of /velno/steps mounts the disk with the step's options, runs
# the step's command as the desktop's user (uid 1000) and unmounts; a step
# whose options are "-" runs as root with nothing mounted. The first failing
# step's status (else 0) is written to the serial console.
/bin/busybox --install -s /bin
export PATH=/bin:/usr/bin:/sbin:/usr/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
chmod 1777 /tmp
echo "velno-vm: started"

for module in $(cat /velno/modules.list); do
    insmod "/velno/modules/$module.ko" || echo "velno-vm: insmod $module failed"
done
for wait in 1 2 3 4 5 6 7 8 9 10; do
    [ -b /dev/vda ] && break
    sleep 0.1
done

# What udev records for the disk on a desktop: an ordinary user cannot read
# the device, so the host reads the volume's label and serial from here.
mkdir -p /run/udev/data
cat /velno/udev >"/run/udev/data/b$(cat /sys/block/vda/dev)"

mount_point=/media/user/VELNO
mkdir -p "$mount_point" /home/user
chown 1000:1000 /home/user
status=0
while IFS='|' read -r options command; do
    [ -n "$command" ] || continue
    if [ "$options" = - ]; then
        sh -c "$command" </dev/null
        status=$?
        [ "$status" -eq 0 ] && continue || break
    fi
    echo "velno-vm: mount -o $options"
    if ! mount -t vfat -o "$options" /dev/vda "$mount_point"; then
        dmesg | tail -5
        status=125
        break
    fi
    (cd /home/user && HOME=/home/user VELNO_VFAT_MOUNT="$mount_point" \
        /velno/as-user 1000 1000 sh -c "$command")
    status=$?
    umount "$mount_point" || status=125
    [ "$status" -eq 0 ] || break
done </velno/steps
sync
echo "velno-vm: exit status $status"
poweroff -f
