// The page's controls call the program; everything they show comes from it (app/web/PageView.cpp).
const byId = (id) => document.getElementById(id);
const demo = new URLSearchParams(location.search).has('demo');
const serial = 'serial' in navigator;

// The Log panel keeps the latest lines, as many as the window's.
const logPanel = byId('logPanel');
const showLogLine = (line) => {
  const atEnd = logPanel.scrollTop + logPanel.clientHeight >= logPanel.scrollHeight - 4;
  logPanel.append(line + '\n');
  if (logPanel.childNodes.length > 5000) logPanel.firstChild.remove();
  if (atEnd) logPanel.scrollTop = logPanel.scrollHeight;
};

const korvane = await Korvane({ logLine: showLogLine });

byId('noSerial').hidden = serial || demo;
byId('demoNotice').hidden = !demo;
byId('demoLink').hidden = demo;
byId('addPort').hidden = demo || !serial;
byId('addPort').onclick = () => korvane.addSerialPort();

byId('connect').onclick = async () => {
  if (!demo && serial) {
    // With no port granted yet, the browser's chooser comes first; closing it connects nothing.
    if ((await korvane.serialPorts()).length === 0 && !(await korvane.addSerialPort())) return;
  }
  korvane._korvane_connect();
};
byId('disconnect').onclick = () => korvane._korvane_disconnect();
byId('fast').onchange = (event) => korvane._korvane_set_fast(event.target.checked);
byId('auto').onchange = (event) => korvane._korvane_set_auto(event.target.checked);
for (const [index, id] of ['config1', 'config2', 'config3'].entries()) {
  byId(id).onchange = () => korvane._korvane_set_config(index);
}
byId('mph').onchange = () => korvane._korvane_set_kmh(false);
byId('kmh').onchange = () => korvane._korvane_set_kmh(true);

// Only a choice made in the open list is written: a key over the closed list opens it instead of
// stepping to the next speed.
const speed = byId('speed');
speed.onchange = () => korvane._korvane_choose_speed(speed.selectedIndex);
speed.onkeydown = (event) => {
  const steps = ['ArrowUp', 'ArrowDown', 'PageUp', 'PageDown', 'Home', 'End'];
  if ((steps.includes(event.key) || event.key.length === 1) && !event.ctrlKey && !event.altKey) {
    event.preventDefault();
    speed.showPicker();
  }
};

byId('firmware').onclick = () => korvane._korvane_update_firmware();
byId('saveSettings').onclick = () => korvane._korvane_save_settings();
byId('loadSettings').onclick = () => korvane._korvane_load_settings();
byId('logButton').onclick = () => {
  const shown = logPanel.hidden;
  logPanel.hidden = byId('copyLog').hidden = !shown;
  byId('logButton').setAttribute('aria-pressed', String(shown));
  logPanel.scrollTop = logPanel.scrollHeight;
};
byId('copyLog').onclick = () => navigator.clipboard.writeText(logPanel.textContent);

if (serial && !demo) await korvane.serialPorts();
korvane._korvane_start(demo);
