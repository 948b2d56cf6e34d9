// The bench's peer: resedit (npm) showing or setting the version
// information of every file in a list, in one process, timed inside.
//   node resedit_verinfo.mjs RESEDIT_DIR show|set LIST OUT_DIR ROUNDS
import fs from 'node:fs';
import path from 'node:path';
import { pathToFileURL } from 'node:url';

const [dir, mode, list, outDir, rounds] = process.argv.slice(2);
const ResEdit = await import(pathToFileURL(path.join(dir, 'node_modules/resedit/dist/index.js')).href);
const files = fs.readFileSync(list, 'utf8').split('\n').filter(Boolean);

function once() {
  const versions = [];
  let ok = 0;
  files.forEach((file, i) => {
    try {
      const exe = ResEdit.NtExecutable.from(fs.readFileSync(file), { ignoreCert: true });
      const res = ResEdit.NtExecutableResource.from(exe);
      const infos = ResEdit.Resource.VersionInfo.fromEntries(res.entries);
      if (mode === 'show') {
        if (infos.length === 0) { versions.push(''); return; }
        const f = infos[0].fixedInfo;
        const strings = infos[0].getAllLanguagesForStringValues().map((l) => infos[0].getStringValues(l));
        versions.push(`${f.fileVersionMS >>> 16}.${f.fileVersionMS & 0xffff}.${f.fileVersionLS >>> 16}.${f.fileVersionLS & 0xffff}`);
        if (strings) ok++;
        return;
      }
      const vi = infos.length ? infos[0] : ResEdit.Resource.VersionInfo.createEmpty();
      const langs = vi.getAllLanguagesForStringValues();
      const lang = langs.length ? langs[0] : { lang: 1033, codepage: 1200 };
      vi.setFileVersion(1, 2, 3, 4, lang.lang);
      vi.setStringValues(lang, { CompanyName: 'Bench' });
      vi.outputToResourceEntries(res.entries);
      res.outputResource(exe);
      fs.writeFileSync(path.join(outDir, `r${i}`), Buffer.from(exe.generate()));
      ok++;
    } catch (e) {
      versions.push('');
    }
  });
  return { ok, versions };
}

let best = Infinity, result;
for (let r = 0; r < Number(rounds); r++) {
  const start = process.hrtime.bigint();
  result = once();
  best = Math.min(best, Number(process.hrtime.bigint() - start) / 1e6);
}
process.stdout.write(JSON.stringify({ ms: best, ok: result.ok, versions: result.versions }) + '\n');
