"""Headless Chromium driven by Selenium for the browser journeys: a fresh profile per
browser, no sandbox, no GPU. missing() says what of it this machine lacks."""
import os
import shutil
import tempfile

try:
    from selenium import webdriver
    from selenium.common.exceptions import (NoAlertPresentException, StaleElementReferenceException,
                                            WebDriverException)
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:  # told by missing()
    webdriver = None

CHROMIUM = ("chromium", "chromium-browser")
CHROMEDRIVER = ("chromedriver",)


def _program(env_name, names):
    given = os.environ.get(env_name)
    if given:
        return given if os.access(given, os.X_OK) else None
    for name in names:
        found = shutil.which(name) or shutil.which(name, path="/usr/bin:/usr/lib/chromium")
        if found:
            return found
    return None


def missing():
    """A message naming what is missing for a browser test, or None."""
    lacking = []
    if webdriver is None:
        lacking.append("the Python module selenium (python3-selenium)")
    if _program("CHROMIUM", CHROMIUM) is None:
        lacking.append("chromium")
    if _program("CHROMEDRIVER", CHROMEDRIVER) is None:
        lacking.append("chromedriver (chromium-driver)")
    if not lacking:
        return None
    return "browser tests need " + ", ".join(lacking) + "; scripts/install-deps.sh installs them"


def _gone(element):
    """True once the element left the page. A node detached while it is being asked about
    makes chromedriver answer with an inspector error instead of a stale reference."""
    try:
        element.is_enabled()
        return False
    except StaleElementReferenceException:
        return True
    except WebDriverException as error:
        if "does not belong to the document" in str(error):
            return True
        raise


class Chromium:
    """One headless browser with a profile of its own, removed on quit()."""

    def __init__(self, width=1100, height=900):
        self.profile = tempfile.mkdtemp(prefix="qelwww-chromium-")
        options = webdriver.ChromeOptions()
        options.binary_location = _program("CHROMIUM", CHROMIUM)
        for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                         "--no-first-run", "--disable-extensions", f"--user-data-dir={self.profile}",
                         f"--window-size={width},{height}"):
            options.add_argument(argument)
        service = Service(_program("CHROMEDRIVER", CHROMEDRIVER))
        try:
            self.driver = webdriver.Chrome(service=service, options=options)
        except Exception:
            shutil.rmtree(self.profile, ignore_errors=True)
            raise
        self.driver.set_page_load_timeout(60)

    def quit(self):
        try:
            self.driver.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)

    # -- pages ---------------------------------------------------------------------------

    def get(self, url):
        self.driver.get(url)

    def find(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def find_all(self, css):
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    def count(self, css):
        return self.driver.execute_script("return document.querySelectorAll(arguments[0]).length;", css)

    def submit(self, css="input[type=submit], button[type=submit]"):
        """Clicks the first submit button and waits for the next page."""
        old = self.find("html")
        self.find(css).click()
        self.wait_for_new_page(old)

    def wait_for_new_page(self, old, seconds=60):
        WebDriverWait(self.driver, seconds).until(lambda d: _gone(old))
        WebDriverWait(self.driver, seconds).until(
            lambda d: d.execute_script("return document.readyState") == "complete")

    def alert_text(self):
        """The text of an open alert (accepting it), or None."""
        try:
            alert = self.driver.switch_to.alert
        except NoAlertPresentException:
            return None
        text = alert.text
        alert.accept()
        return text

    def body_text(self):
        return self.find("body").text

    def screenshot(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        if not self.driver.save_screenshot(path):
            raise RuntimeError(f"no screenshot written to {path}")
        return path

    def cookies(self):
        return {c["name"]: c for c in self.driver.get_cookies()}
