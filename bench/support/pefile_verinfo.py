# The bench's second peer for show: python3-pefile reading the version
# information of every file in a list, timed inside.
#   python3 pefile_verinfo.py LIST ROUNDS
import json, sys, time, pefile
files = [l for l in open(sys.argv[1]).read().split('\n') if l]
best, versions = float('inf'), []
for _ in range(int(sys.argv[2])):
    start, versions = time.perf_counter(), []
    for f in files:
        try:
            p = pefile.PE(f, fast_load=True)
            p.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_RESOURCE']])
            v = p.VS_FIXEDFILEINFO[0] if hasattr(p, 'VS_FIXEDFILEINFO') else None
            versions.append('%d.%d.%d.%d' % (v.FileVersionMS >> 16, v.FileVersionMS & 0xFFFF,
                                             v.FileVersionLS >> 16, v.FileVersionLS & 0xFFFF) if v else '')
            p.close()
        except Exception:
            versions.append('')
    best = min(best, (time.perf_counter() - start) * 1000)
print(json.dumps({'ms': best, 'versions': versions}))
