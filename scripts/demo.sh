#!/usr/bin/env bash
# Sets everything up, then shows the module at work on a small demo host:
# a backup through vdbackup, the catalogue, a damaged data file, and a
# restore through vdbackup that makes the file whole again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
top=$PWD
demo=$top/demo
rm -rf "$demo"
"$top/build/bin/vardobk_demo_data" "$demo"
cd "$demo"
host_program="$demo/program/demo_host"
table="data/dbf/movements.dbf"

echo
echo "== 1. A backup through vdbackup (keep 30 days, with a comment)"
"$top/build/bin/vdbackup" "$host_program" /Q /B /T=30 /C="Демонстрация: конец дня"
archive=$(ls -t backups/*.7z | head -n 1)
echo "archive: $archive"
echo "its entries, the two manifests first:"
7z l -slt "$archive" | sed -n 's/^Path = /  /p' | tail -n +2

echo
echo "== 2. The catalogue of backups"
xmllint --format --encode UTF-8 backups/backup_list.xml

echo
echo "== 3. A data file is damaged"
before=$(sha256sum "$table" | cut -d' ' -f1)
printf 'CORRUPTED BY A FAILING DISK' | dd of="$table" bs=1 seek=100 conv=notrunc status=none
after=$(sha256sum "$table" | cut -d' ' -f1)
echo "sha256 before: $before"
echo "sha256 now:    $after"

echo
echo "== 4. A restore of the last backup through vdbackup /R"
"$top/build/bin/vdbackup" "$host_program" /Q /R /A="$demo/$archive"
restored=$(sha256sum "$table" | cut -d' ' -f1)
echo "sha256 after the restore: $restored"
if [ "$restored" = "$before" ]; then
  echo "The damaged file is whole again."
else
  echo "The restore did not bring the file back." >&2
  exit 1
fi

echo
echo "== 5. The two runs in vdbackup's log (one line a run, for cron jobs nobody watches)"
tail -n 2 backups/vdbackup.log
