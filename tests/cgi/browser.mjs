// Fills the upload form of qrvx cgi in headless Chromium (Debian's) and
// submits it, as a person would:
//   node browser.mjs URL PLAN.json RESULT.html
// PLAN.json: {"fields": {"name": "text", ...}, "files": {"field": "/path", ...}}.
// The raw bytes of the page that answers the POST go to RESULT.html.
import { chromium } from 'playwright-core';
import { readFileSync, writeFileSync } from 'node:fs';

const [url, planFile, resultFile] = process.argv.slice(2);
const plan = JSON.parse(readFileSync(planFile, 'utf8'));
const browser = await chromium.launch({
  executablePath: process.env.QRVX_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage'],
  timeout: 60000,
});
try {
  const page = await browser.newPage();
  page.setDefaultTimeout(120000);
  await page.goto(url);
  for (const [name, value] of Object.entries(plan.fields))
    await page.fill(`[name="${name}"]`, value);
  for (const [name, path] of Object.entries(plan.files))
    await page.setInputFiles(`input[type=file][name="${name}"]`, path);
  const [response] = await Promise.all([
    page.waitForResponse((r) => r.request().method() === 'POST'),
    page.click('input[type=submit]'),
  ]);
  writeFileSync(resultFile, await response.body());
  console.log(`status ${response.status()}`);
} finally {
  await browser.close();
}
