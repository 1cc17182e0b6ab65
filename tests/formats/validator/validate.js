// node validate.js FILE...: validates each glTF file; prints a line per file
// and every message of severity error or warning; exits 1 when any has one.
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function check(file) {
  const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    externalResourceFunction: () => Promise.reject(new Error('external resources are not expected')),
  });
  const issues = report.issues;
  console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings`);
  for (const m of issues.messages) {
    if (m.severity <= 1) console.log(`  ${m.code} ${m.pointer || ''}: ${m.message}`);
  }
  return issues.numErrors === 0 && issues.numWarnings === 0;
}

(async () => {
  let ok = process.argv.length > 2;
  for (const file of process.argv.slice(2)) ok = (await check(file)) && ok;
  process.exit(ok ? 0 : 1);
})().catch((error) => {
  console.error(error);
  process.exit(1);
});
